// veltrimax.exe as it starts: its frame, and the controls of Form1's layout table with their
// places, captions, kinds and the focus.

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <optional>

#include "app/form/form1_layout.h"
#include "platform/win32/system_text.h"
#include "tests/win32/window_test.h"

namespace vlt::win32_test {
namespace {

using WindowLayout = WindowTest;

RECT ClientRectOf(HWND control, HWND window) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT WorkArea() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor.rcWork;
}

TEST_F(WindowLayout, AFixedCentredWindowWithACloseBoxAndNoTaskbarButton) {
    WindowDriver program(Veltrimax());
    const HWND window = program.Window();
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 725);
    EXPECT_EQ(client.bottom, 386);

    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    // An owned window without WS_EX_APPWINDOW gets no taskbar button.
    EXPECT_NE(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    RECT frame{};
    GetWindowRect(window, &frame);
    const RECT work = WorkArea();
    EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 2);
    EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 2);
}

// Each control of the table at its place in pixels (twips / 15 at 96 DPI), of its kind,
// with its caption; only buttons and boxes take the focus, and it starts on "Encrypt file".
TEST_F(WindowLayout, PlacesEveryControlOfTheTable) {
    WindowDriver program(Veltrimax());
    for (const ControlPlace& place : kForm1Controls) {
        SCOPED_TRACE(std::string(place.name));
        const HWND control = program.Control(place.name);
        ASSERT_NE(control, nullptr);
        const RECT rect = ClientRectOf(control, program.Window());
        EXPECT_EQ(rect.left, place.left / kTwipsPerPixel);
        EXPECT_EQ(rect.top, place.top / kTwipsPerPixel);
        EXPECT_EQ(rect.bottom - rect.top, place.height / kTwipsPerPixel);
        EXPECT_TRUE(IsWindowVisible(control));
        if (place.names.empty()) {
            EXPECT_EQ(rect.right - rect.left, place.width / kTwipsPerPixel);
        } else {
            // A label paints its whole place: it stops where its box starts.
            const RECT box = ClientRectOf(program.Control(place.names), program.Window());
            EXPECT_EQ(rect.right, std::min(box.left, rect.left + place.width / kTwipsPerPixel));
        }

        const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
        const bool focusable =
            place.kind == ControlKind::Button || place.kind == ControlKind::TextBox;
        EXPECT_EQ((style & WS_TABSTOP) != 0, focusable);
        switch (place.kind) {
            case ControlKind::Button:
                EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Button"), 0);
                // No default button: Enter in a box clicks nothing.
                EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON));
                EXPECT_EQ(program.Text(place.name), place.caption);
                break;
            case ControlKind::Label:
                EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Static"), 0);
                EXPECT_EQ(program.Text(place.name), place.caption);
                break;
            case ControlKind::TextBox:
                EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Edit"), 0);
                EXPECT_FALSE(style & (ES_PASSWORD | ES_READONLY | ES_MULTILINE));
                EXPECT_EQ(program.Text(place.name), "");
                // No length limit: keys of any length can be pasted.
                EXPECT_GT(static_cast<unsigned>(SendMessageW(control, EM_GETLIMITTEXT, 0, 0)),
                          1000000u);
                break;
            case ControlKind::ProgressBar:
                EXPECT_EQ(ClassOf(control), PROGRESS_CLASSW);
                EXPECT_EQ(SendMessageW(control, PBM_GETRANGE, TRUE, 0), 0);
                EXPECT_EQ(SendMessageW(control, PBM_GETRANGE, FALSE, 0), 100);
                EXPECT_EQ(SendMessageW(control, PBM_GETPOS, 0, 0), 0);
                break;
        }
    }
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    ASSERT_TRUE(GetGUIThreadInfo(program.ThreadId(), &thread));
    EXPECT_EQ(thread.hwndFocus, program.Control("Command1"));
}

// Wine takes the DPI from the user's LogPixels at a program's start: set for the starts in
// its scope and put back after them.
class LogPixels {
  public:
    explicit LogPixels(DWORD dpi) {
        DWORD size = sizeof(old_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_DWORD, nullptr, &old_,
                            &size) == ERROR_SUCCESS;
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &dpi, sizeof(dpi));
    }
    ~LogPixels() {
        if (had_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &old_, sizeof(old_));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, kValue);
        }
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;

  private:
    static constexpr wchar_t kKey[] = L"Control Panel\\Desktop";
    static constexpr wchar_t kValue[] = L"LogPixels";
    DWORD old_ = 0;
    bool had_ = false;
};

// At 120 % the client area and the controls are scaled, the window being DPI aware. At
// 150 % that would be wider than the screen (wine_display.sh's is 1024 x 768, as a 640 x
// 480 one is at 100 %): the window shrinks to the largest size that fits, its controls in
// proportion, and is whole on the screen.
TEST_F(WindowLayout, ScalesWithTheDpiAndFitsTheScreen) {
    const RECT work = WorkArea();
    const struct {
        DWORD dpi;
        bool fits;  // at its full size
    } cases[] = {{120, true}, {144, false}};
    for (const auto& [dpi, fits] : cases) {
        SCOPED_TRACE(dpi);
        std::optional<WindowDriver> program;
        {
            const LogPixels setting(dpi);
            program.emplace(Veltrimax());
        }
        RECT client{};
        GetClientRect(program->Window(), &client);
        if (fits) {
            EXPECT_EQ(client.right,
                      MulDiv(kClientWidthTwips / kTwipsPerPixel, static_cast<int>(dpi), 96));
        } else {
            EXPECT_LT(client.right,
                      MulDiv(kClientWidthTwips / kTwipsPerPixel, static_cast<int>(dpi), 96));
        }
        // The scale the window took, from its client area.
        const auto scaled = [&](int twips) {
            return MulDiv(twips / kTwipsPerPixel, client.right, kClientWidthTwips / kTwipsPerPixel);
        };
        EXPECT_NEAR(client.bottom, scaled(kClientHeightTwips), 1);
        RECT frame{};
        GetWindowRect(program->Window(), &frame);
        EXPECT_GE(frame.left, work.left);
        EXPECT_GE(frame.top, work.top);
        EXPECT_LE(frame.right, work.right);
        EXPECT_LE(frame.bottom, work.bottom);
        for (const ControlPlace& place : kForm1Controls) {
            SCOPED_TRACE(std::string(place.name));
            const RECT rect = ClientRectOf(program->Control(place.name), program->Window());
            EXPECT_NEAR(rect.left, scaled(place.left), 1);
            EXPECT_NEAR(rect.top, scaled(place.top), 1);
            EXPECT_NEAR(rect.bottom - rect.top, scaled(place.height), 1);
            if (place.names.empty()) {
                EXPECT_NEAR(rect.right - rect.left, scaled(place.width), 1);
            }
        }
    }
}

struct Accessible {
    std::string name;
    long role = 0;
};

// What a screen reader learns of a control through MSAA.
Accessible AccessibleOf(HWND control) {
    Accessible seen;
    IAccessible* object = nullptr;
    // __uuidof: mingw's IID_IAccessible is oleacc.dll's data, which needs dllimport.
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object)))) {
        return seen;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (object->get_accName(self, &name) == S_OK && name != nullptr) {
        seen.name = win32::Utf8FromWide(name);
        SysFreeString(name);
    }
    VARIANT role{};
    if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) {
        seen.role = role.lVal;
    }
    object->Release();
    return seen;
}

// A box is named by the label right before it. (The bar is announced as progress by its
// class, checked above; Wine's oleacc gives that class no role of its own.)
TEST_F(WindowLayout, ScreenReadersNameEachBoxByItsLabel) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        WindowDriver program(Veltrimax());
        for (const ControlPlace& place : kForm1Controls) {
            if (place.names.empty()) {
                continue;
            }
            SCOPED_TRACE(std::string(place.names));
            const HWND box = program.Control(place.names);
            EXPECT_EQ(GetWindow(box, GW_HWNDPREV), program.Control(place.name));
            const Accessible seen = AccessibleOf(box);
            EXPECT_EQ(seen.name, place.caption);
            EXPECT_EQ(seen.role, ROLE_SYSTEM_TEXT);
        }
    }
    CoUninitialize();
}

// The contact line names the system the program runs on.
TEST_F(WindowLayout, TheContactLineSaysWindows) {
    WindowDriver program(Veltrimax());
    EXPECT_EQ(program.Text("Label4"),
              "Veltrimax for Windows - https://veltrimax.invalid - support@veltrimax.invalid");
}

}  // namespace
}  // namespace vlt::win32_test
