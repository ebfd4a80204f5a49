#include <algorithm>
#include <string>

#include "window_support.h"

namespace korvax::wingui::test {
namespace {

struct Child {
    HWND handle;
    int id;
    RECT rect;  // in the window's client area
    std::wstring className;
    LONG_PTR style;
};

std::vector<Child> VisibleChildren(HWND window) {
    std::vector<Child> children;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        Child found{child, ::GetDlgCtrlID(child), {}, {}, ::GetWindowLongPtrW(child, GWL_STYLE)};
        ::GetWindowRect(child, &found.rect);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&found.rect), 2);
        wchar_t name[64] = {};
        ::GetClassNameW(child, name, static_cast<int>(std::size(name)));
        found.className = name;
        children.push_back(found);
    }
    return children;
}

bool Is(const Child& child, const wchar_t* className) { return lstrcmpiW(child.className.c_str(), className) == 0; }

SIZE TextSize(HWND control, const std::wstring& text) {
    HDC dc = ::GetDC(control);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::string Name(const Child& child) {
    return Utf8(child.className) + " " + std::to_string(child.id) + " \"" + Utf8(WindowText(child.handle)) + "\"";
}

// The room a control leaves its caption, or nothing when it shows no caption of its own.
std::optional<SIZE> CaptionRoom(const Child& child, const Window& window) {
    const int width = child.rect.right - child.rect.left;
    const int height = child.rect.bottom - child.rect.top;
    if (Is(child, L"Static")) {
        const LONG_PTR kind = child.style & SS_TYPEMASK;
        if (kind == SS_OWNERDRAW || kind == SS_ETCHEDHORZ || kind == SS_ETCHEDFRAME || kind == SS_BITMAP) return {};
        // A panel's sunken frame takes its edges.
        const int frame = (::GetWindowLongPtrW(child.handle, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0 ? window.Scale(6) : 0;
        return SIZE{width - frame, height - frame};
    }
    if (Is(child, L"Button")) {
        switch (child.style & BS_TYPEMASK) {
            case BS_PUSHBUTTON:
            case BS_DEFPUSHBUTTON: return SIZE{width - window.Scale(6), height - window.Scale(4)};
            case BS_OWNERDRAW: return SIZE{width - window.Scale(4 + 16 + 4 + 2), height};
            case BS_GROUPBOX: return SIZE{width - window.Scale(16), height};
            default: return {};
        }
    }
    return {};
}

}  // namespace

std::vector<std::string> LayoutProblems(const Window& window, const std::set<Overlap>& allowed) {
    std::vector<std::string> problems;
    RECT client{};
    ::GetClientRect(window.Handle(), &client);
    const std::vector<Child> children = VisibleChildren(window.Handle());
    for (const Child& child : children) {
        if (child.rect.left < 0 || child.rect.top < 0 || child.rect.right > client.right ||
            child.rect.bottom > client.bottom) {
            problems.push_back(Name(child) + " reaches out of the client area");
        }
        if (const std::optional<SIZE> room = CaptionRoom(child, window)) {
            const std::wstring text = WindowText(child.handle);
            const SIZE need = TextSize(child.handle, text);
            if (!text.empty() && (need.cx > room->cx || need.cy > room->cy)) {
                problems.push_back(Name(child) + " is cut: it needs " + std::to_string(need.cx) + " x " +
                                   std::to_string(need.cy) + ", has " + std::to_string(room->cx) + " x " +
                                   std::to_string(room->cy));
            }
        }
        if (Is(child, WC_LISTVIEWW)) {
            HWND header = ListView_GetHeader(child.handle);
            for (int column = 0; column < Header_GetItemCount(header); ++column) {
                wchar_t text[128] = {};
                HDITEMW item{};
                item.mask = HDI_TEXT | HDI_WIDTH;
                item.pszText = text;
                item.cchTextMax = static_cast<int>(std::size(text));
                Header_GetItem(header, column, &item);
                const SIZE need = TextSize(header, text);
                if (need.cx + window.Scale(12) > item.cxy) {
                    problems.push_back(Name(child) + " column \"" + Utf8(text) + "\" is cut");
                }
            }
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            const Child& a = children[i];
            const Child& b = children[j];
            RECT common{};
            if (!::IntersectRect(&common, &a.rect, &b.rect)) continue;
            if (allowed.count({a.id, b.id}) != 0 || allowed.count({b.id, a.id}) != 0) continue;
            // A group box frames the controls inside it.
            const auto frames = [](const Child& box, const Child& inner) {
                RECT both{};
                return Is(box, L"Button") && (box.style & BS_TYPEMASK) == BS_GROUPBOX &&
                       ::IntersectRect(&both, &box.rect, &inner.rect) && ::EqualRect(&both, &inner.rect);
            };
            if (frames(a, b) || frames(b, a)) continue;
            problems.push_back(Name(a) + " and " + Name(b) + " overlap");
        }
    }
    return problems;
}

}  // namespace korvax::wingui::test
