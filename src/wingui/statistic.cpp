#include "wingui/statistic.h"

#include <commctrl.h>

#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "wingui/error_display.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

constexpr SIZE kClientSize{615, 324};
constexpr int kPanelHeight = 49;

// A path as the rows show it on this system (as korvax-scan prints it); a virus name,
// bytes from the database, as UTF-8 or read as Windows-1251, on one line.
std::wstring ShownFile(const std::string& path) { return Wide(ShownPath(path)); }
std::wstring Shown(const std::string& bytes) { return Wide(DisplayLine(bytes)); }

}  // namespace

TForm3::TForm3(const Window& mainWindow) : mainWindow_(mainWindow) {
    Create(Tr("Статистика"), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, kClientSize, false, mainWindow.Handle());
    // Two columns of caption and value, two lines each, on the panel along the top.
    const struct {
        int id;
        const wchar_t* fixed;
        const char* text;
        RECT place;
    } labels[] = {
        {kStatLabel1, nullptr, TrText("Проверено:"), {16, 8, 116, 23}},
        {kStatLabel5, L"0", nullptr, {120, 8, 240, 23}},
        {kStatLabel3, nullptr, TrText("Вылечено:"), {16, 27, 116, 42}},
        {kStatLabel6, L"0", nullptr, {120, 27, 240, 42}},
        {kStatLabel2, nullptr, TrText("Тел вирусов:"), {320, 8, 430, 23}},
        {kStatLabel7, L"0", nullptr, {436, 8, 556, 23}},
        {kStatLabel4, nullptr, TrText("Подозрительных:"), {320, 27, 430, 42}},
        {kStatLabel8, L"0", nullptr, {436, 27, 556, 42}},
    };
    for (const auto& label : labels) {
        AddControl(L"STATIC", label.fixed != nullptr ? std::wstring(label.fixed) : Tr(label.text),
                   WS_VISIBLE | SS_LEFT | SS_NOPREFIX, label.id, label.place);
    }
    HWND list = AddControl(WC_LISTVIEWW, L"", WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                           kListView1, {0, kPanelHeight, kClientSize.cx, kClientSize.cy}, FontKind::Window,
                           WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_TRACKSELECT | LVS_EX_DOUBLEBUFFER);
    const struct {
        const char* caption;
        int width;
    } columns[] = {{TrText("Объект"), 370}, {TrText("Статус"), 150}, {TrText("Действие"), 70}};
    for (int i = 0; i < 3; ++i) {
        std::wstring caption = Tr(columns[i].caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = caption.data();
        column.cx = Scale(columns[i].width);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
}

void TForm3::AddRow(const ResultRow& row) {
    rows_.push_back(row);
    HWND list = Control(kListView1);
    std::wstring path = ShownFile(row.path), status = Shown(row.status), action = Shown(row.action);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(rows_.size()) - 1;
    item.pszText = path.data();
    item.lParam = static_cast<LPARAM>(rows_.size() - 1);
    const int at = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, at, 1, status.data());
    ListView_SetItemText(list, at, 2, action.data());
}

void TForm3::SetCounters(const std::string& checked, const std::string& cured, const std::string& viruses) {
    ::SetWindowTextW(Control(kStatLabel5), Wide(checked).c_str());
    ::SetWindowTextW(Control(kStatLabel6), Wide(cured).c_str());
    ::SetWindowTextW(Control(kStatLabel7), Wide(viruses).c_str());
}

TForm3::RowMenu TForm3::MenuFor(int row) const {
    RowMenu menu;
    const bool cured = row >= 0 && row < RowCount() && rows_[static_cast<std::size_t>(row)].code == ResultCode::Cured;
    menu.restore = cured && !checkRunning_;
    menu.backups = !checkRunning_;
    return menu;
}

void TForm3::MenuChosen(int row, int item) {
    // The menu was opened before a check may have begun: asked again now.
    const RowMenu menu = MenuFor(row);
    if (item == kRestoreItem && menu.restore && restoreRequested) {
        restoreRequested(rows_[static_cast<std::size_t>(row)].path);
    } else if (item == kBackupsItem && menu.backups && backupsRequested) {
        backupsRequested();
    }
}

void TForm3::ContextMenu(LPARAM at) {
    HWND list = Control(kListView1);
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    int row = -1;
    if (at == -1) {
        // From the keyboard (the menu key, Shift+F10): the selected row, at its place.
        row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        RECT rect{};
        if (row < 0 || !ListView_GetItemRect(list, row, &rect, LVIR_LABEL)) ::GetClientRect(list, &rect);
        point = {rect.left, rect.bottom};
        ::ClientToScreen(list, &point);
    } else {
        LVHITTESTINFO hit{};
        hit.pt = point;
        ::ScreenToClient(list, &hit.pt);
        row = ListView_HitTest(list, &hit);
    }
    if (row >= 0) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        ListView_GetItem(list, &item);
        row = static_cast<int>(item.lParam);
    }
    const RowMenu enabled = MenuFor(row);
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING | (enabled.restore ? MF_ENABLED : MF_GRAYED), kRestoreItem, Tr("Восстановить").c_str());
    ::AppendMenuW(menu, MF_STRING | (enabled.backups ? MF_ENABLED : MF_GRAYED), kBackupsItem,
                  Tr("Резервные копии...").c_str());
    const int chosen = static_cast<int>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr));
    ::DestroyMenu(menu);
    if (chosen != 0) MenuChosen(row, chosen);
}

void TForm3::Placing() {
    RECT main{};
    ::GetWindowRect(mainWindow_.Handle(), &main);
    ::SetWindowPos(Handle(), nullptr, main.right, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TForm3::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == Control(kListView1)) {
                Guarded([&] { ContextMenu(lParam); });
                return 0;
            }
            break;
        case WM_PAINT: {
            // The panel along the top, raised, under the counters.
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(Handle(), &paint);
            RECT panel{0, 0, Scale(kClientSize.cx), Scale(kPanelHeight)};
            ::DrawEdge(dc, &panel, EDGE_RAISED, BF_RECT);
            ::EndPaint(Handle(), &paint);
            return 0;
        }
        case WM_DPICHANGED: {
            const LRESULT result = Window::Message(message, wParam, lParam);
            const int widths[] = {370, 150, 70};
            for (int i = 0; i < 3; ++i) ListView_SetColumnWidth(Control(kListView1), i, Scale(widths[i]));
            return result;
        }
        default:
            break;
    }
    return Window::Message(message, wParam, lParam);
}

}  // namespace korvax::wingui
