// Keys pressed on veltrimax.exe through the system's input queue (SendInput), as from a
// keyboard: Tab and Shift+Tab follow the tab order, Enter, Space and the keypad's Enter click
// the focused button and the focus is back on it after the message box, Enter and Esc in a
// box do nothing.

#include <vector>

#include "app/form/form1_layout.h"
#include "tests/win32/window_test.h"

namespace vlt::win32_test {
namespace {

using WindowKeys = WindowTest;

void Press(WORD key, bool shift = false, bool extended = false) {
    std::vector<INPUT> inputs;
    const auto add = [&inputs](WORD each, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = each;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    const DWORD extend = extended ? KEYEVENTF_EXTENDEDKEY : 0;
    if (shift) {
        add(VK_SHIFT, 0);
    }
    add(key, extend);
    add(key, extend | KEYEVENTF_KEYUP);
    if (shift) {
        add(VK_SHIFT, KEYEVENTF_KEYUP);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The name of the control that has the window's focus, "" for none of them.
std::string Focused(const WindowDriver& program) {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    if (!GetGUIThreadInfo(program.ThreadId(), &thread)) {
        return "";
    }
    for (const ControlPlace& place : kForm1Controls) {
        if (program.Control(place.name) == thread.hwndFocus) {
            return std::string(place.name);
        }
    }
    return "";
}

// Keys arrive in order: once the focus has moved to `name`, every key before has been taken.
std::string FocusAfterMove(const WindowDriver& program, const std::string& before) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    std::string now = Focused(program);
    while (now == before && std::chrono::steady_clock::now() < end) {
        Sleep(20);
        now = Focused(program);
    }
    return now;
}

class KeysTest : public WindowKeys {
  protected:
    WindowDriver program{Veltrimax()};

    void SetUp() override {
        SetForegroundWindow(program.Window());
        ASSERT_EQ(Focused(program), "Command1");
    }
};

TEST_F(KeysTest, TabAndShiftTabFollowTheTabOrder) {
    std::vector<std::string> forward;
    for (const ControlPlace& place : kForm1Controls) {
        if (place.kind == ControlKind::Button || place.kind == ControlKind::TextBox) {
            forward.emplace_back(place.name);
        }
    }
    forward.push_back(forward.front());  // and round again
    std::vector<std::string> backward(forward.rbegin(), forward.rend());
    for (const auto& [shift, order] : {std::pair{false, forward}, std::pair{true, backward}}) {
        std::vector<std::string> visited{Focused(program)};
        while (visited.size() < order.size()) {
            Press(VK_TAB, shift);
            visited.push_back(FocusAfterMove(program, visited.back()));
        }
        EXPECT_EQ(visited, order) << (shift ? "Shift+Tab" : "Tab");
    }
}

// With every box empty, "Decrypt file" asks for the key whichever key clicks it; the focus
// stays on the button. In a box, Enter and Esc click nothing: there is no default button.
TEST_F(KeysTest, EnterAndSpaceClickTheFocusedButtonOnly) {
    Press(VK_TAB, true);
    ASSERT_EQ(FocusAfterMove(program, "Command1"), "Command2");
    const struct {
        const char* name;
        WORD key;
        bool extended;
    } clicks[] = {
        {"Enter", VK_RETURN, false}, {"Space", VK_SPACE, false}, {"keypad Enter", VK_RETURN, true}};
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.name);
        Press(click.key, false, click.extended);
        EXPECT_EQ(program.AnswerMessage(IDOK), "Please enter primary key");
        EXPECT_EQ(FocusAfterMove(program, ""), "Command2");
    }

    Press(VK_TAB);
    ASSERT_EQ(FocusAfterMove(program, "Command2"), "Command1");
    Press(VK_TAB);
    ASSERT_EQ(FocusAfterMove(program, "Command1"), "Text1");
    Press(VK_RETURN);
    Press(VK_ESCAPE);
    Press(VK_TAB);
    EXPECT_EQ(FocusAfterMove(program, "Text1"), "Command3");
    EXPECT_EQ(program.ShownDialog(), nullptr);
    EXPECT_TRUE(program.Running());
}

}  // namespace
}  // namespace vlt::win32_test
