#pragma once

// Form1 drawn with native Win32 controls: the controls of kForm1Controls, each with the id
// VLT_FIRST_CONTROL_ID plus its index, which is how the tests find them. Clicks, drops and
// the close box go to Form1's rules; the rules reach the controls through Form1View.

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "app/form/form1.h"
#include "app/form/form1_layout.h"
#include "app/form/form1_view.h"

namespace vlt {

class Form1Window final : public Form1View {
  public:
    // Creates the window, centred on the screen, and shows it.
    explicit Form1Window(HINSTANCE instance);
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    HWND Handle() const { return window_; }
    // The program's arguments, for Form1's rules.
    void CommandLine(const std::vector<std::string>& arguments) { form_.CommandLine(arguments); }
    // Lets a message loop click the focused button on Enter; true when it did.
    bool ClickFocusedButton(const MSG& message);

    std::string Text(Box box) const override;
    void SetText(Box box, const std::string& text) override;
    void SetProgress(int percent) override;
    void Inform(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    std::optional<std::string> ShowOpen(const std::string& filter, const std::string& fileName,
                                        const std::string& folder) override;
    void Hide() override;
    void EndProgram() override;
    void Post(std::function<void()> task) override;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Places the controls and sets their fonts for `dpi` dots per inch.
    void Layout(UINT dpi);
    void Clicked(int id);
    void Dropped(HDROP drop);

    HWND owner_ = nullptr;  // hidden: keeps the window off the taskbar
    HWND window_ = nullptr;
    // The control that has the focus while the window is inactive (a message box or another
    // program in front), given back on activation as a dialog does.
    HWND focus_ = nullptr;
    std::array<HWND, kForm1Controls.size()> controls_{};
    HFONT dialogFont_ = nullptr;
    HFONT browseFont_ = nullptr;
    // The dots per inch the controls are laid out for: the monitor's, or less where the
    // window would not fit its screen.
    UINT layoutDpi_ = 96;
    // Destroyed first: a run stops before the window it posts to goes.
    Form1 form_;
};

}  // namespace vlt
