#pragma once

// Drives the real veltrimax.exe from another process as a Windows test would, with window
// messages only: finds its window by caption and process, reads and sets the controls'
// texts by their names in kForm1Controls ("Text3", "Command1"; a control's id is
// VLT_FIRST_CONTROL_ID plus its index), clicks buttons by posting BM_CLICK, and finds and
// answers the program's message boxes (titled "Veltrimax") and its Open dialog.
//
//   WindowDriver program(L"Z:\\...\\veltrimax.exe");
//   program.SetText("Text3", "key");
//   program.Click("Command1");
//   EXPECT_EQ(program.AnswerMessage(IDOK), "Please enter file name");
//   program.AnswerOpenDialog(std::nullopt);   // cancel it
//   program.Close();
//   EXPECT_EQ(program.WaitForExit(), 0u);
//
// Texts are UTF-8. Every wait has a limit; one that runs out throws std::runtime_error
// saying what it waited for, so a test fails instead of hanging. Under Wine a test program
// runs on a display of its own through tests/win32/wine_display.sh, holding the CTest
// resource lock wine_display (see tests/win32/CMakeLists.txt).

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vlt::win32_test {

inline constexpr std::chrono::milliseconds kPatience{20000};

// What the Open dialog showed when it was answered.
struct OpenDialogSeen {
    std::string fileType;  // the selected entry of its file types ("" without a filter)
    std::string fileName;  // its file name box as it opened
};

class WindowDriver {
  public:
    // Starts `program` with `arguments` after its quoted name on the command line, in
    // `folder` (the caller's when empty), and waits until its window is shown.
    explicit WindowDriver(const std::filesystem::path& program, const std::wstring& arguments = {},
                          const std::filesystem::path& folder = {});
    // Ends the program if it still runs.
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    HWND Window() const { return window_; }
    DWORD ProcessId() const { return process_.dwProcessId; }
    DWORD ThreadId() const { return process_.dwThreadId; }
    // A control of the window by its name in kForm1Controls; throws for an unknown name.
    HWND Control(std::string_view name) const;

    // WM_GETTEXT and WM_SETTEXT, sent: the control has them when the call returns.
    std::string Text(std::string_view name) const;
    void SetText(std::string_view name, const std::string& text);
    // Posts BM_CLICK to a button and returns at once, as the click may open a modal box.
    void Click(std::string_view name);
    // Posts WM_CLOSE to the window, as its close box does.
    void Close();

    // Waits for a message box of the program, presses `button` (IDOK, IDYES, IDNO) on it and
    // returns its text.
    std::string AnswerMessage(int button, std::chrono::milliseconds limit = kPatience);
    // Waits for the Open dialog; chooses `fileName` in it (a full path) or, given nothing,
    // cancels it. Returns what it showed.
    OpenDialogSeen AnswerOpenDialog(const std::optional<std::string>& fileName,
                                    std::chrono::milliseconds limit = kPatience);
    // Any dialog of the program now shown (a message box or the Open dialog), or null.
    HWND ShownDialog() const;

    // Waits for the program's end: its exit code, or nothing if it still runs after `limit`.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds limit = kPatience);
    bool Running() const;

  private:
    void End();
    HWND WaitForDialog(bool messageBox, std::chrono::milliseconds limit) const;

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// A window's text by WM_GETTEXT, which reaches the controls of other processes too (their
// caption alone is what GetWindowTextW would read).
std::string WindowText(HWND window);

}  // namespace vlt::win32_test
