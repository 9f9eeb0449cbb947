#include "app/win32/form1_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "app/form/messages.h"
#include "app/win32/dialogs.h"
#include "app/win32/resources.h"
#include "platform/error_text.h"
#include "platform/win32/system_text.h"

namespace vlt {

namespace {

constexpr wchar_t kWindowClass[] = L"VeltrimaxForm1";
// A task posted by Post: lParam is a heap-allocated std::function<void()>.
constexpr UINT kRunTask = WM_APP + 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr UINT kBaseDpi = 96;

int Scaled(int twips, UINT dpi) {
    return MulDiv(twips / kTwipsPerPixel, static_cast<int>(dpi), kBaseDpi);
}

// A label stops where its box starts: it paints its background over all of its place,
// which in the table overlaps the box's edge.
int WidthOf(const ControlPlace& place) {
    if (const ControlPlace* box = FindControl(place.names)) {
        return std::min(place.width, box->left - place.left);
    }
    return place.width;
}

int IdOf(std::size_t index) {
    return VLT_FIRST_CONTROL_ID + static_cast<int>(index);
}

std::size_t IndexOf(std::string_view name) {
    return static_cast<std::size_t>(FindControl(name) - kForm1Controls.data());
}

constexpr std::pair<std::string_view, void (Form1::*)()> kClicks[] = {
    {"Command1", &Form1::EncryptClicked},
    {"Command2", &Form1::DecryptClicked},
    {"Command3", &Form1::BrowseEncryptClicked},
    {"Command4", &Form1::BrowseDecryptClicked},
};

HWND MakeControl(const ControlPlace& place, HWND parent, int id) {
    const std::wstring caption = win32::WideFromUtf8(place.caption);
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    switch (place.kind) {
        case ControlKind::Button:
            return CreateWindowExW(0, L"BUTTON", caption.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                   parent, menu, nullptr, nullptr);
        case ControlKind::Label:
            // SS_NOPREFIX: no caption has an access key, so "&" is shown as it is.
            return CreateWindowExW(0, L"STATIC", caption.c_str(),
                                   WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                                   parent, menu, nullptr, nullptr);
        case ControlKind::TextBox: {
            HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0,
                                       0, parent, menu, nullptr, nullptr);
            // An edit stops at 32767 characters by default; a pasted key must arrive whole.
            SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
            return box;
        }
        case ControlKind::ProgressBar: {
            HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                       parent, menu, nullptr, nullptr);
            SendMessageW(bar, PBM_SETRANGE32, 0, 100);
            return bar;
        }
    }
    return nullptr;
}

// The window's outer size for a client area of the table's size laid out at `layoutDpi`, with
// the frame Windows draws at the window's own `dpi`.
SIZE FrameSize(UINT layoutDpi, UINT dpi) {
    RECT frame{0, 0, Scaled(kClientWidthTwips, layoutDpi), Scaled(kClientHeightTwips, layoutDpi)};
    AdjustWindowRectExForDpi(&frame, kStyle, FALSE, WS_EX_CONTROLPARENT, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// A monitor's work area: its screen less the taskbar.
RECT WorkArea(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

// `dpi`, or less where the window would not fit the work area at it (640 x 480, 150 % on
// 1024 x 768): the window and its fonts shrink together, whole on the screen, rather than
// leave the buttons at its right beyond the screen's edge.
UINT FittingDpi(UINT dpi, const RECT& work) {
    constexpr UINT kSmallest = kBaseDpi / 2;
    UINT layoutDpi = dpi;
    for (; layoutDpi > kSmallest; --layoutDpi) {
        const SIZE size = FrameSize(layoutDpi, dpi);
        if (size.cx <= work.right - work.left && size.cy <= work.bottom - work.top) {
            break;
        }
    }
    return layoutDpi;
}

HFONT DialogFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

HFONT BrowseFont(UINT dpi) {
    const int height = -static_cast<int>(std::lround(kBrowseFont.points * dpi / 72.0));
    return CreateFontW(height, 0, 0, 0, kBrowseFont.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, win32::WideFromUtf8(kBrowseFont.family).c_str());
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELTRIMAX), IMAGE_ICON, 32, 32, 0));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELTRIMAX), IMAGE_ICON, 16, 16, 0));
    RegisterClassExW(&windowClass);
}

}  // namespace

Form1Window::Form1Window(HINSTANCE instance) : form_(*this) {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    RegisterWindowClass(instance, &Procedure);
    owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                             nullptr);
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass,
                              win32::WideFromUtf8(kWindowTitle).c_str(), kStyle, 0, 0, 0, 0, owner_,
                              nullptr, instance, this);
    CreateControls();
    // Centred in the primary monitor's work area; on a screen too small even for the
    // smallest, its caption stays on the screen.
    const RECT work = WorkArea(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const UINT dpi = FittingDpi(GetDpiForWindow(window_), work);
    layoutDpi_ = dpi;
    const SIZE size = FrameSize(dpi, GetDpiForWindow(window_));
    SetWindowPos(window_, nullptr, work.left + std::max(0L, (work.right - work.left - size.cx) / 2),
                 work.top + std::max(0L, (work.bottom - work.top - size.cy) / 2), size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Layout(dpi);
    // Drops land on the window; Dropped finds the control under them.
    DragAcceptFiles(window_, TRUE);
    // The activation on showing puts the focus there.
    focus_ = controls_[IndexOf("Command1")];
    ShowWindow(window_, SW_SHOWNORMAL);
}

Form1Window::~Form1Window() {
    DestroyWindow(window_);
    DestroyWindow(owner_);
    DeleteObject(dialogFont_);
    DeleteObject(browseFont_);
}

// Created in tab order, which makes it the focus chain (labels and the bar take no focus);
// each box's label right before it, which is where screen readers look for a box's name.
void Form1Window::CreateControls() {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        const ControlPlace& place = kForm1Controls[i];
        if (!place.names.empty()) {
            continue;  // made with its box
        }
        for (std::size_t label = 0; label < kForm1Controls.size(); ++label) {
            if (kForm1Controls[label].names == place.name) {
                controls_[label] = MakeControl(kForm1Controls[label], window_, IdOf(label));
            }
        }
        controls_[i] = MakeControl(place, window_, IdOf(i));
    }
}

void Form1Window::Layout(UINT dpi) {
    HFONT oldDialog = std::exchange(dialogFont_, DialogFont(dpi));
    HFONT oldBrowse = std::exchange(browseFont_, BrowseFont(dpi));
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        const ControlPlace& place = kForm1Controls[i];
        MoveWindow(controls_[i], Scaled(place.left, dpi), Scaled(place.top, dpi),
                   Scaled(WidthOf(place), dpi), Scaled(place.height, dpi), TRUE);
        const HFONT font = place.browseFont ? browseFont_ : dialogFont_;
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    DeleteObject(oldDialog);
    DeleteObject(oldBrowse);
}

bool Form1Window::ClickFocusedButton(const MSG& message) {
    // Bit 30: the key was already down, a repeat.
    if (message.message != WM_KEYDOWN || message.wParam != VK_RETURN ||
        (message.lParam & (1 << 30)) != 0) {
        return false;
    }
    const HWND focus = GetFocus();
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (controls_[i] == focus && kForm1Controls[i].kind == ControlKind::Button) {
            Clicked(IdOf(i));
            return true;
        }
    }
    return false;
}

std::string Form1Window::Text(Box box) const {
    HWND control = controls_[IndexOf(ControlName(box))];
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return win32::Utf8FromWide(text);
}

void Form1Window::SetText(Box box, const std::string& text) {
    SetWindowTextW(controls_[IndexOf(ControlName(box))], win32::WideFromUtf8(text).c_str());
}

void Form1Window::SetProgress(int percent) {
    SendMessageW(controls_[IndexOf("ProgressBar1")], PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void Form1Window::Inform(const std::string& text) {
    ShowMessage(window_, text, MB_OK);
}

void Form1Window::ShowError(const std::string& text) {
    ShowMessage(window_, text, MB_OK | MB_ICONERROR);
}

bool Form1Window::AskYesNo(const std::string& text) {
    return ShowMessage(window_, text, MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
}

std::optional<std::string> Form1Window::ShowOpen(const std::string& filter,
                                                 const std::string& fileName,
                                                 const std::string& folder) {
    return AskOpen(window_, filter, fileName, folder);
}

void Form1Window::Hide() {
    ShowWindow(window_, SW_HIDE);
}

void Form1Window::EndProgram() {
    PostQuitMessage(0);
}

void Form1Window::Post(std::function<void()> task) {
    auto posted = std::make_unique<std::function<void()>>(std::move(task));
    if (PostMessageW(window_, kRunTask, 0, reinterpret_cast<LPARAM>(posted.get()))) {
        posted.release();
    }
}

void Form1Window::Clicked(int id) {
    const std::string_view name = kForm1Controls[static_cast<std::size_t>(id - IdOf(0))].name;
    for (const auto& [button, click] : kClicks) {
        if (button == name) {
            (form_.*click)();
        }
    }
}

void Form1Window::Dropped(HDROP drop) {
    POINT where{};
    DragQueryPoint(drop, &where);
    const HWND target = ChildWindowFromPointEx(window_, where, CWP_SKIPINVISIBLE);
    std::vector<std::string> names(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < names.size(); ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        names[i] = win32::Utf8FromWide(name);
    }
    DragFinish(drop);
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (controls_[i] == target && kForm1Controls[i].dropSide) {
            form_.FilesDropped(*kForm1Controls[i].dropSide, names);
        }
    }
}

LRESULT CALLBACK Form1Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<Form1Window*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No exception may cross the system's frames: memory that runs out in a
    // handler (a run's result, a message being built) drops that message
    // with a note instead of ending the program.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veltrimax: %s\n", ErrorText(error));
        return 0;
    }
}

LRESULT Form1Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                Clicked(LOWORD(wParam));
            }
            return 0;
        case WM_DROPFILES:
            Dropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case kRunTask: {
            const std::unique_ptr<std::function<void()>> task(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*task)();
            return 0;
        }
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            const UINT dpi = FittingDpi(
                HIWORD(wParam), WorkArea(MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST)));
            layoutDpi_ = dpi;
            const SIZE size = FrameSize(dpi, HIWORD(wParam));
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            Layout(dpi);
            return 0;
        }
        case WM_GETMINMAXINFO: {
            // Its one size, even where it exceeds the screen's (a small screen at 150 %):
            // Windows would otherwise cut it to the screen, and the controls with it.
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            const SIZE size = FrameSize(layoutDpi_, GetDpiForWindow(window_));
            limits->ptMinTrackSize = limits->ptMaxTrackSize = {size.cx, size.cy};
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus != nullptr && IsChild(window_, focus)) {
                    focus_ = focus;
                }
            } else if (focus_ != nullptr && HIWORD(wParam) == 0) {
                SetFocus(focus_);
                return 0;
            }
            return DefWindowProcW(window_, message, wParam, lParam);
        case WM_CLOSE:
            // The rules hide the window and end the program; the window goes with the object.
            form_.WindowClosed();
            return 0;
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace vlt
