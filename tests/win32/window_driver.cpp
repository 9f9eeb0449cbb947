#include "tests/win32/window_driver.h"

#include <stdexcept>
#include <thread>

#include "app/form/form1_layout.h"
#include "app/form/messages.h"
#include "app/win32/resources.h"
#include "platform/win32/system_text.h"

namespace vlt::win32_test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPoll{20};
// The dialogs' own controls: the Open dialog's file types and file name (cmb13 on the
// newer dialog, edt1 on the older one).
constexpr int kFileTypes = 0x470;
constexpr int kFileNameBoxes[] = {0x47c, 0x480};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Polls `found` until it gives something or `limit` runs out; then throws naming `what`.
template <typename Found>
auto WaitFor(const char* what, std::chrono::milliseconds limit, Found found) {
    const auto end = Clock::now() + limit;
    for (;;) {
        if (auto result = found()) {
            return result;
        }
        if (Clock::now() > end) {
            throw std::runtime_error(std::string("gave up waiting for ") + what);
        }
        std::this_thread::sleep_for(kPoll);
    }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             static_cast<UINT>(kPatience.count()), &result)) {
        throw std::runtime_error("the program did not answer a window message");
    }
    return static_cast<LRESULT>(result);
}

struct Search {
    DWORD process;
    bool (*wanted)(HWND);
    HWND found = nullptr;
};

// The first visible top-level window of `process` that `wanted` takes.
HWND FindTopLevel(DWORD process, bool (*wanted)(HWND)) {
    Search search{process, wanted};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* search = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == search->process && IsWindowVisible(window) && search->wanted(window)) {
                search->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsMainWindow(HWND window) {
    return WindowText(window) == kWindowTitle;
}

bool IsMessageBox(HWND window) {
    return ClassOf(window) == L"#32770" && WindowText(window) == kMessageTitle;
}

bool IsOtherDialog(HWND window) {
    return ClassOf(window) == L"#32770" && WindowText(window) != kMessageTitle;
}

bool IsAnyDialog(HWND window) {
    return ClassOf(window) == L"#32770";
}

// A message box's text is its one static control with a text; the icon is one without.
std::string MessageText(HWND box) {
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM context) -> BOOL {
            if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
                const std::string each = WindowText(child);
                if (!each.empty()) {
                    *reinterpret_cast<std::string*>(context) = each;
                    return FALSE;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// Presses a dialog's button by BM_CLICK and waits until the dialog has gone.
void PressAndWaitGone(HWND dialog, int button, std::chrono::milliseconds limit) {
    const HWND control = GetDlgItem(dialog, button);
    if (control == nullptr) {
        throw std::runtime_error("the dialog has no button " + std::to_string(button));
    }
    PostMessageW(control, BM_CLICK, 0, 0);
    WaitFor("the dialog to close", limit,
            [dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

}  // namespace

std::string WindowText(HWND window) {
    const auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    text.resize(static_cast<std::size_t>(Send(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                              reinterpret_cast<LPARAM>(text.data()))));
    return win32::Utf8FromWide(text);
}

WindowDriver::WindowDriver(const std::filesystem::path& program, const std::wstring& arguments,
                           const std::filesystem::path& folder) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_)) {
        throw std::runtime_error("cannot start " + win32::Utf8FromWide(program.wstring()) +
                                 ": error " + std::to_string(GetLastError()));
    }
    try {
        window_ = WaitFor("the program's window", kPatience, [this] {
            if (!Running()) {
                throw std::runtime_error("the program ended before it showed its window");
            }
            return FindTopLevel(ProcessId(), &IsMainWindow);
        });
    } catch (...) {
        End();  // no destructor runs for a constructor that throws
        throw;
    }
}

WindowDriver::~WindowDriver() {
    End();
}

void WindowDriver::End() {
    if (Running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, static_cast<DWORD>(kPatience.count()));
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND WindowDriver::Control(std::string_view name) const {
    const ControlPlace* place = FindControl(name);
    if (place == nullptr) {
        throw std::invalid_argument("no control named " + std::string(name));
    }
    return GetDlgItem(window_, VLT_FIRST_CONTROL_ID + static_cast<int>(place - &kForm1Controls[0]));
}

std::string WindowDriver::Text(std::string_view name) const {
    return WindowText(Control(name));
}

void WindowDriver::SetText(std::string_view name, const std::string& text) {
    const std::wstring wide = win32::WideFromUtf8(text);
    Send(Control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void WindowDriver::Click(std::string_view name) {
    PostMessageW(Control(name), BM_CLICK, 0, 0);
}

void WindowDriver::Close() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

HWND WindowDriver::WaitForDialog(bool messageBox, std::chrono::milliseconds limit) const {
    return WaitFor(messageBox ? "a message box" : "the Open dialog", limit, [&] {
        return FindTopLevel(ProcessId(), messageBox ? &IsMessageBox : &IsOtherDialog);
    });
}

std::string WindowDriver::AnswerMessage(int button, std::chrono::milliseconds limit) {
    const HWND box = WaitForDialog(true, limit);
    std::string text = MessageText(box);
    PressAndWaitGone(box, button, limit);
    return text;
}

OpenDialogSeen WindowDriver::AnswerOpenDialog(const std::optional<std::string>& fileName,
                                              std::chrono::milliseconds limit) {
    const HWND dialog = WaitForDialog(false, limit);
    HWND nameBox = nullptr;
    for (const int id : kFileNameBoxes) {
        if (nameBox == nullptr) {
            nameBox = GetDlgItem(dialog, id);
        }
    }
    if (nameBox == nullptr) {
        throw std::runtime_error("the Open dialog has no file name box");
    }
    const HWND types = GetDlgItem(dialog, kFileTypes);
    OpenDialogSeen seen{types != nullptr ? WindowText(types) : "", WindowText(nameBox)};
    if (fileName) {
        const std::wstring wide = win32::WideFromUtf8(*fileName);
        Send(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    PressAndWaitGone(dialog, fileName ? IDOK : IDCANCEL, limit);
    return seen;
}

HWND WindowDriver::ShownDialog() const {
    return FindTopLevel(ProcessId(), &IsAnyDialog);
}

std::optional<DWORD> WindowDriver::WaitForExit(std::chrono::milliseconds limit) {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) !=
        WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool WindowDriver::Running() const {
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

}  // namespace vlt::win32_test
