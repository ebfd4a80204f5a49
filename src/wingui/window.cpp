#include "wingui/window.h"

#include <commctrl.h>

#include <climits>
#include <string>

#include "platform/failure.h"
#include "wingui/error_display.h"
#include "wingui/window_look.h"

namespace korvax::wingui {
namespace {

constexpr wchar_t kClassName[] = L"KorvaxWindow";

// Windows 10's per-monitor scale calls, looked up at run time so that the program still
// starts on a system without them (it then runs at the system's one scale).
using DpiForWindow = UINT(WINAPI*)(HWND);
using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename Function>
Function UserCall(const char* name) {
    static const HMODULE user = ::GetModuleHandleW(L"user32.dll");
    return user != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user, name)))
                           : nullptr;
}

void RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.hIcon = ::LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(1));
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

// The place of `control` in the client area of `window`.
POINT PlaceIn(HWND window, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    POINT at{rect.left, rect.top};
    ::ScreenToClient(window, &at);
    return at;
}

}  // namespace

int WindowDpi(HWND window) {
    static const DpiForWindow dpiForWindow = UserCall<DpiForWindow>("GetDpiForWindow");
    if (dpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = dpiForWindow(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

Window::Window() = default;

Window::~Window() {
    if (handle_ != nullptr) {
        ::SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        ::DestroyWindow(handle_);
    }
    if (windowFont_ != nullptr) ::DeleteObject(windowFont_);
    if (captionFont_ != nullptr) ::DeleteObject(captionFont_);
}

Window* Window::Of(HWND child) {
    HWND top = child != nullptr ? ::GetAncestor(child, GA_ROOT) : nullptr;
    if (top == nullptr) return nullptr;
    wchar_t name[32] = {};
    ::GetClassNameW(top, name, static_cast<int>(std::size(name)));
    if (lstrcmpW(name, kClassName) != 0) return nullptr;
    return reinterpret_cast<Window*>(::GetWindowLongPtrW(top, GWLP_USERDATA));
}

void Window::Create(const std::wstring& caption, DWORD style, DWORD exStyle, SIZE size, bool outerSize, HWND owner) {
    RegisterClassOnce();
    size96_ = size;
    outer_ = outerSize;
    style_ = style;
    exStyle_ = exStyle;
    handle_ = ::CreateWindowExW(exStyle, kClassName, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                size.cx, size.cy, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (handle_ == nullptr) throw Failure("Cannot create a window (error " + std::to_string(::GetLastError()) + ")");
    ::SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::Procedure));
    dpi_ = WindowDpi(handle_);
    MakeFonts();
    FitFrame(nullptr);
}

HWND Window::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int id, RECT place,
                        FontKind font, DWORD exStyle, HWND parent) {
    HWND control = ::CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | style, 0, 0, 0, 0,
                                     parent != nullptr ? parent : handle_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                     nullptr);
    if (control == nullptr) throw Failure("Cannot create a control (error " + std::to_string(::GetLastError()) + ")");
    placed_.push_back({control, place, font});
    const Placed& added = placed_.back();
    ::MoveWindow(control, Scale(added.place.left), Scale(added.place.top), Scale(added.place.right - added.place.left),
                 Scale(added.place.bottom - added.place.top), FALSE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), FALSE);
    return control;
}

void Window::PlaceControl(HWND control, RECT place) {
    for (Placed& placed : placed_) {
        if (placed.control != control) continue;
        placed.place = place;
        ::MoveWindow(control, Scale(place.left), Scale(place.top), Scale(place.right - place.left),
                     Scale(place.bottom - place.top), TRUE);
        return;
    }
}

void Window::MakeFonts() {
    if (windowFont_ != nullptr) ::DeleteObject(windowFont_);
    if (captionFont_ != nullptr) ::DeleteObject(captionFont_);
    windowFont_ = MakeWindowFont(dpi_);
    captionFont_ = MakeCaptionFont(dpi_, captionTexts_, captionWidth_ > 0 ? Scale(captionWidth_) : INT_MAX);
}

void Window::FitCaptions(std::vector<std::wstring> texts, int width) {
    captionTexts_ = std::move(texts);
    captionWidth_ = width;
    MakeFonts();
    Layout();
}

void Window::FitFrame(const RECT* suggested) {
    RECT frame{0, 0, Scale(size96_.cx), Scale(size96_.cy)};
    if (!outer_) {
        static const AdjustForDpi adjust = UserCall<AdjustForDpi>("AdjustWindowRectExForDpi");
        if (adjust != nullptr) {
            adjust(&frame, style_, FALSE, exStyle_, static_cast<UINT>(dpi_));
        } else {
            ::AdjustWindowRectEx(&frame, style_, FALSE, exStyle_);
        }
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (suggested != nullptr) {
        ::SetWindowPos(handle_, nullptr, suggested->left, suggested->top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        ::SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
}

void Window::Layout() {
    for (const Placed& placed : placed_) {
        ::MoveWindow(placed.control, Scale(placed.place.left), Scale(placed.place.top),
                     Scale(placed.place.right - placed.place.left), Scale(placed.place.bottom - placed.place.top), TRUE);
        ::SendMessageW(placed.control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(placed.font)), TRUE);
    }
}

void Window::Show() {
    Placing();
    ::ShowWindow(handle_, SW_SHOW);
    ::SetForegroundWindow(handle_);
}

void Window::Close() {
    ::ShowWindow(handle_, SW_HIDE);
    Closed();
}

bool Window::PreTranslate(MSG& message) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        // Enter presses the button that has the focus, as Space does.
        HWND focus = ::GetFocus();
        wchar_t name[16] = {};
        ::GetClassNameW(focus, name, static_cast<int>(std::size(name)));
        const LONG_PTR type = ::GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
        if (lstrcmpiW(name, L"Button") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW)) {
            ::SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    // Tab and the arrow keys move between the controls, Space presses a button.
    return ::IsDialogMessageW(handle_, &message) != FALSE;
}

LRESULT Window::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            Close();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            MakeFonts();
            FitFrame(reinterpret_cast<const RECT*>(lParam));
            Layout();
            ::InvalidateRect(handle_, nullptr, TRUE);
            return 0;
        }
        case WM_ERASEBKGND:
            if (tile_) {
                RECT client{};
                ::GetClientRect(handle_, &client);
                PaintTile(reinterpret_cast<HDC>(wParam), client, POINT{0, 0});
                return 1;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (tile_) {
                // Labels, check boxes and group boxes stand on the tile, where it lies.
                HDC dc = reinterpret_cast<HDC>(wParam);
                const POINT at = PlaceIn(handle_, reinterpret_cast<HWND>(lParam));
                ::SetBkMode(dc, TRANSPARENT);
                ::SetBrushOrgEx(dc, -at.x, -at.y, nullptr);
                return reinterpret_cast<LRESULT>(TileBrush());
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<Window*>(::GetWindowLongPtrW(handle, GWLP_USERDATA));
    if (window == nullptr) return ::DefWindowProcW(handle, message, wParam, lParam);
    LRESULT result = 0;
    bool answered = false;
    // No exception may leave into the system's dispatch: what a handler raises is shown.
    Guarded([&] {
        result = window->Message(message, wParam, lParam);
        answered = true;
    });
    return answered ? result : ::DefWindowProcW(handle, message, wParam, lParam);
}

void DispatchProgramMessage(MSG& message) {
    if (Window* window = Window::Of(message.hwnd); window != nullptr && window->PreTranslate(message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

}  // namespace korvax::wingui
