#include "wingui/restore_window.h"

#include <commctrl.h>

#include <cstdio>
#include <set>

#include "backup/restore.h"
#include "desktop/desktop_restore.h"
#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/program_language.h"
#include "wingui/error_display.h"
#include "wingui/statistic.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

constexpr SIZE kInitialSize{720, 360};
constexpr int kMargin = 8;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;

std::wstring Shown(const std::string& bytes) { return Wide(DisplayLine(bytes)); }

// The index keeps UTC to the second ("2026-12-09T10:11:12Z"); the user reads local time.
std::wstring LocalTime(const std::string& indexTime) {
    SYSTEMTIME utc{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(indexTime.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &year, &month, &day, &hour, &minute, &second) != 6) {
        return Shown(indexTime);
    }
    utc.wYear = static_cast<WORD>(year);
    utc.wMonth = static_cast<WORD>(month);
    utc.wDay = static_cast<WORD>(day);
    utc.wHour = static_cast<WORD>(hour);
    utc.wMinute = static_cast<WORD>(minute);
    utc.wSecond = static_cast<WORD>(second);
    SYSTEMTIME local{};
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return Shown(indexTime);
    wchar_t text[32] = {};
    std::swprintf(text, std::size(text), L"%02u.%02u.%04u %02u:%02u:%02u", local.wDay, local.wMonth, local.wYear,
                  local.wHour, local.wMinute, local.wSecond);
    return text;
}

}  // namespace

RestoreWindow::RestoreWindow(ProgramState& state, TForm3& statistics, std::string folder, FileWriteCalls& calls)
    : state_(state), statistics_(statistics), folder_(std::move(folder)), calls_(calls) {
    Create(Tr("Резервные копии"), WS_OVERLAPPEDWINDOW, 0, kInitialSize, false);
    HWND list = AddControl(WC_LISTVIEWW, L"", WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, kBackupList,
                           {0, 0, 0, 0}, FontKind::Window, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const struct {
        const char* caption;
        int width;
    } columns[] = {{TrText("Объект"), 320}, {TrText("Вирус"), 120}, {TrText("Время лечения"), 130}, {TrText("Возвращён"), 90}};
    for (int i = 0; i < 4; ++i) {
        std::wstring caption = Tr(columns[i].caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = caption.data();
        column.cx = Scale(columns[i].width);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kPruneNote, {0, 0, 0, 0});
    AddControl(L"STATIC", L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kStatusLine, {0, 0, 0, 0});
    AddControl(L"BUTTON", Tr("Восстановить"), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kRestoreButton, {0, 0, 0, 0});
    AddControl(L"BUTTON", Tr("Закрыть"), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kCloseButton, {0, 0, 0, 0});
    Layout();
    UpdateRestoreButton();
}

void RestoreWindow::Layout() {
    Window::Layout();
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const int margin = Scale(kMargin);
    const int buttonWidth = Scale(kButtonWidth);
    const int buttonHeight = Scale(kButtonHeight);
    const bool noted = ::IsWindowVisible(Control(kPruneNote)) != FALSE;
    const int noteHeight = noted ? Scale(30) : 0;
    const int bottom = client.bottom - margin;
    const int buttonsTop = bottom - buttonHeight;
    const int listBottom = buttonsTop - margin - (noted ? noteHeight + margin : 0);
    ::MoveWindow(Control(kBackupList), margin, margin, client.right - 2 * margin, listBottom - margin, TRUE);
    ::MoveWindow(Control(kPruneNote), margin, listBottom + margin, client.right - 2 * margin, noteHeight, TRUE);
    const int closeLeft = client.right - margin - buttonWidth;
    const int restoreLeft = closeLeft - margin - buttonWidth;
    ::MoveWindow(Control(kCloseButton), closeLeft, buttonsTop, buttonWidth, buttonHeight, TRUE);
    ::MoveWindow(Control(kRestoreButton), restoreLeft, buttonsTop, buttonWidth, buttonHeight, TRUE);
    ::MoveWindow(Control(kStatusLine), margin, buttonsTop + Scale(5), restoreLeft - 2 * margin, buttonHeight - Scale(5),
                 TRUE);
}

void RestoreWindow::ShowBackups() {
    Reload();
    Show();
}

void RestoreWindow::Reload() {
    HWND list = Control(kBackupList);
    // What was chosen stays chosen: the list is read again after every restore.
    std::set<std::string> chosen;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
        chosen.insert(listed_[static_cast<std::size_t>(i)]);
    }
    ListView_DeleteAllItems(list);
    listed_.clear();
    if (folder_.empty() || !EntryExists(folder_)) {
        // Reading it would make it: there is nothing to put back before the first cure.
        ::SetWindowTextW(Control(kStatusLine), Tr("Резервных копий нет").c_str());
        UpdateRestoreButton();
        return;
    }
    std::vector<BackupRecord> records;
    try {
        records = RestorableBackups(folder_);
    } catch (const std::exception& failure) {
        ::SetWindowTextW(Control(kStatusLine), Wide(DisplayText(failure.what())).c_str());
        UpdateRestoreButton();
        return;
    }
    for (const BackupRecord& record : records) {
        std::wstring texts[] = {Wide(ShownPath(record.path)), Shown(record.entry), LocalTime(record.time),
                                record.restored ? Tr("да") : Tr("нет")};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(listed_.size());
        item.pszText = texts[0].data();
        const int at = ListView_InsertItem(list, &item);
        for (int column = 1; column < 4; ++column) ListView_SetItemText(list, at, column, texts[column].data());
        listed_.push_back(record.path);
        if (chosen.count(record.path) != 0) ListView_SetItemState(list, at, LVIS_SELECTED, LVIS_SELECTED);
    }
    ::SetWindowTextW(Control(kStatusLine),
                     records.empty() ? Tr("Резервных копий нет").c_str()
                                     : TrFormat("Резервных копий: %1", {std::to_wstring(records.size())}).c_str());
    UpdateRestoreButton();
}

void RestoreWindow::RestoreButtonClick() {
    HWND list = Control(kBackupList);
    std::vector<std::string> paths;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
        paths.push_back(listed_[static_cast<std::size_t>(i)]);
    }
    if (!paths.empty()) RestoreFiles(paths);
}

void RestoreWindow::RestoreFiles(const std::vector<std::string>& paths) {
    // The buttons and the menu are off during a check; this makes sure of it.
    if (checkRunning_) throw Failure(Translated("Во время проверки восстановление невозможно"));
    DesktopRestore outcome;
    try {
        outcome = RestoreChosenFiles(state_, folder_, paths, [this](const ResultRow& row) { statistics_.AddRow(row); },
                                     calls_);
    } catch (...) {
        // The store itself cannot be read: nothing was put back.
        if (IsVisible()) Reload();
        throw;
    }
    if (IsVisible()) Reload();
    ::SetWindowTextW(Control(kStatusLine),
                     TrFormat("Восстановлено: %1, не восстановлено: %2",
                              {std::to_wstring(outcome.restored), std::to_wstring(outcome.refused)})
                         .c_str());
    if (!outcome.message.empty()) ShowError(Wide(outcome.message));
}

void RestoreWindow::SetCheckRunning(bool running) {
    checkRunning_ = running;
    // The check that ended may have kept more originals.
    if (!running && IsVisible()) Reload();
    UpdateRestoreButton();
}

void RestoreWindow::UpdateRestoreButton() {
    const bool chosen = ListView_GetSelectedCount(Control(kBackupList)) > 0;
    ::EnableWindow(Control(kRestoreButton), !checkRunning_ && chosen ? TRUE : FALSE);
}

void RestoreWindow::SetPruneNote(const std::string& note) {
    ::SetWindowTextW(Control(kPruneNote), Wide(note).c_str());
    ::ShowWindow(Control(kPruneNote), note.empty() ? SW_HIDE : SW_SHOW);
    Layout();
}

LRESULT RestoreWindow::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kRestoreButton) {
                Guarded([&] { RestoreButtonClick(); });
                return 0;
            }
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kCloseButton) {
                Close();
                return 0;
            }
            break;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kBackupList && header->code == LVN_ITEMCHANGED) UpdateRestoreButton();
            break;
        }
        default:
            break;
    }
    return Window::Message(message, wParam, lParam);
}

}  // namespace korvax::wingui
