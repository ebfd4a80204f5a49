// The Win32 windows driven as a user drives them: made as the program makes them, buttons
// pressed by message, labels and the report list's rows read back; the layout rules
// (nothing outside the client area or over another control but where the design puts it,
// every caption whole) at the scale the test runs at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "engine/scan_result.h"
#include "platform/directory_walk.h"
#include "window_support.h"

namespace korvax::wingui {
namespace {

using test::Bytes;
using test::BytesOf;
using test::CleanProgram;
using test::ReadBytes;
using test::Overlap;
using test::PrependInfected;
using test::ProgramFixture;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// The client area's size at the window's scale.
SIZE ClientSize(const Window& window) {
    RECT client{};
    ::GetClientRect(window.Handle(), &client);
    return {client.right, client.bottom};
}

// The scale the layout tests expect: KORVAX_EXPECTED_DPI when the run asks for one (the
// run at 144 dots per inch checks that it got them), else whatever the system has.
void ExpectTheAskedScale(const Window& window) {
    if (const char* expected = std::getenv("KORVAX_EXPECTED_DPI")) {
        EXPECT_EQ(window.Dpi(), std::atoi(expected));
    }
}

TEST(WindowLayout, MainWindowAsDesignedEveryCaptionWholeThePanelOverTheFigures) {
    ProgramFixture f;
    ASSERT_TRUE(f.program->Started()) << f.program->StartFailure();
    ExpectTheAskedScale(f.main());
    EXPECT_TRUE(f.errors.empty()) << Joined(f.errors);
    const SIZE client = ClientSize(f.main());
    EXPECT_EQ(client.cx, f.main().Scale(153));
    EXPECT_EQ(client.cy, f.main().Scale(403));
    RECT frame{};
    ::GetWindowRect(f.main().Handle(), &frame);
    EXPECT_EQ(frame.left, 192);
    EXPECT_EQ(frame.top, 113);
    const LONG_PTR style = ::GetWindowLongPtrW(f.main().Handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_EQ(ProgramFixture::Text(f.main(), kSpeedButton1), "Настройки");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kSpeedButton3), "Начать проверку");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1), "Частота процессора:");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1 + 1), "2394 Mhz");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1 + 3), "0%");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel11), "Прогресс проверки:");
    // Values at the right edge, captions at the left.
    EXPECT_EQ(::GetWindowLongPtrW(f.main().Control(kLabel1 + 1), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
    EXPECT_NE(::GetWindowLongPtrW(f.main().Control(kLabel1), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
    EXPECT_FALSE(ProgramFixture::Enabled(f.main(), kSpeedButton4));
    EXPECT_FALSE(ProgramFixture::Shown(f.main(), kPanel1));
    // Every button is reached by Tab.
    for (int id = kSpeedButton1; id <= kSpeedButton5; ++id) {
        EXPECT_NE(::GetWindowLongPtrW(f.main().Control(id), GWL_STYLE) & WS_TABSTOP, 0) << id;
    }
    EXPECT_EQ(Joined(test::LayoutProblems(f.main())), "");

    f.main().ShowPreparing(true);
    EXPECT_TRUE(ProgramFixture::Shown(f.main(), kPanel1));
    EXPECT_EQ(ProgramFixture::Text(f.main(), kPanel1), "Подготовка...");
    std::set<Overlap> underPanel;
    for (int id = kLabel1; id < kLabel1 + 10; ++id) underPanel.insert({kPanel1, id});
    EXPECT_EQ(Joined(test::LayoutProblems(f.main(), underPanel)), "");
    // Nothing but the figures is under it.
    EXPECT_NE(Joined(test::LayoutProblems(f.main())), "");
}

TEST(WindowLayout, SecondaryWindowsAsDesignedEveryCaptionWhole) {
    ProgramFixture f;
    ExpectTheAskedScale(f.settings());
    EXPECT_EQ(ClientSize(f.settings()).cx, f.settings().Scale(513));
    EXPECT_EQ(ClientSize(f.settings()).cy, f.settings().Scale(219));
    EXPECT_EQ(Joined(test::LayoutProblems(f.settings())), "");
    EXPECT_EQ(ProgramFixture::Text(f.settings(), kGroupBox1), "Выбор пути для проверки:");
    EXPECT_EQ(::SendMessageW(f.settings().Control(kCheckBox1), BM_GETCHECK, 0, 0), BST_CHECKED);

    EXPECT_EQ(ClientSize(f.statistics()).cx, f.statistics().Scale(615));
    EXPECT_EQ(ClientSize(f.statistics()).cy, f.statistics().Scale(324));
    EXPECT_EQ(Joined(test::LayoutProblems(f.statistics())), "");
    const HWND header = ListView_GetHeader(f.statistics().Control(kListView1));
    ASSERT_EQ(Header_GetItemCount(header), 3);
    RECT column{};
    Header_GetItemRect(header, 0, &column);
    EXPECT_EQ(column.right - column.left, f.statistics().Scale(370));
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel4), "Подозрительных:");
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel8), "0");

    // The path box and "Обзор..." stand side by side, touching as designed; nothing else
    // overlaps, every control is whole inside the window, however thick its frame.
    EXPECT_EQ(Joined(test::LayoutProblems(f.update(), {{kEdit1, kRenewButton1}})), "");
    EXPECT_EQ(ProgramFixture::Text(f.update(), kRenewButton1), "Обзор...");
    EXPECT_EQ(Utf8(WindowText(f.update().Handle())), "Обновление");

    f.restore().ShowBackups();
    EXPECT_EQ(Joined(test::LayoutProblems(f.restore())), "");
    f.restore().SetPruneNote("pruned 3 backups older than 90 days");
    EXPECT_TRUE(ProgramFixture::Shown(f.restore(), kPruneNote));
    EXPECT_EQ(Joined(test::LayoutProblems(f.restore())), "");
}

// The layout tests again in a program of their own, started at 144 dots per inch (the
// scale is read when a program starts), which checks that it got them.
TEST(WindowLayout, EveryWindowKeepsItsLayoutAt144DotsPerInch) {
    struct Setting {
        HKEY root;
        const wchar_t* key;
    };
    const Setting places[] = {{HKEY_CURRENT_USER, L"Control Panel\\Desktop"}, {HKEY_CURRENT_CONFIG, L"Software\\Fonts"}};
    struct Kept {
        HKEY key = nullptr;
        DWORD value = 0;
        bool had = false;
    } kept[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::RegCreateKeyExW(places[i].root, places[i].key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                    &kept[i].key, nullptr),
                  ERROR_SUCCESS);
        DWORD size = sizeof(kept[i].value);
        kept[i].had = ::RegQueryValueExW(kept[i].key, L"LogPixels", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(&kept[i].value), &size) == ERROR_SUCCESS;
        const DWORD dpi = 144;
        ::RegSetValueExW(kept[i].key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=WindowLayout.*-WindowLayout.EveryWindowKeepsItsLayoutAt144DotsPerInch";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof(start);
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = writeEnd;
    start.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child{};
    ::SetEnvironmentVariableW(L"KORVAX_EXPECTED_DPI", L"144");
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &start, &child);
    ::SetEnvironmentVariableW(L"KORVAX_EXPECTED_DPI", nullptr);
    ::CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) output.append(buffer, read);
        ::WaitForSingleObject(child.hProcess, INFINITE);
        ::CloseHandle(child.hProcess);
        ::CloseHandle(child.hThread);
    }
    ::CloseHandle(readEnd);
    for (Kept& place : kept) {
        if (place.had) {
            ::RegSetValueExW(place.key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&place.value),
                             sizeof(place.value));
        } else {
            ::RegDeleteValueW(place.key, L"LogPixels");
        }
        ::RegCloseKey(place.key);
    }
    ASSERT_TRUE(started);
    EXPECT_NE(output.find("[  PASSED  ] 3 tests."), std::string::npos) << output;
    EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;
}

// KORVAX_LANG=en for as long as it lives (the texts are looked up when the windows are made).
class EnglishAsked {
public:
    EnglishAsked() { _putenv_s("KORVAX_LANG", "en"); }
    ~EnglishAsked() { _putenv_s("KORVAX_LANG", ""); }
};

TEST(WindowLayout, InEnglishFromTheOneCatalogueEveryCaptionWhole) {
    EnglishAsked english;
    ProgramFixture f;
    EXPECT_EQ(ProgramFixture::Text(f.main(), kSpeedButton1), "Settings");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kSpeedButton3), "Start check");
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1), "Processor clock:");
    EXPECT_EQ(ProgramFixture::Text(f.settings(), kGroupBox1), "Folders to check:");
    EXPECT_EQ(ProgramFixture::Text(f.update(), kRenewButton1), "Browse...");
    EXPECT_EQ(ProgramFixture::Text(f.update(), kBitBtn2), "Cancel");
    EXPECT_EQ(Utf8(WindowText(f.statistics().Handle())), "Statistics");
    EXPECT_EQ(ProgramFixture::Rows(f.statistics().Control(kListView1)).size(), 0U);
    wchar_t column[64] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = column;
    item.cchTextMax = 64;
    Header_GetItem(ListView_GetHeader(f.statistics().Control(kListView1)), 0, &item);
    EXPECT_EQ(Utf8(column), "Object");
    for (const Window* window : std::initializer_list<const Window*>{&f.main(), &f.settings(), &f.statistics()}) {
        EXPECT_EQ(Joined(test::LayoutProblems(*window)), "");
    }
    EXPECT_EQ(Joined(test::LayoutProblems(f.update(), {{kEdit1, kRenewButton1}})), "");
}

TEST(MainWindow, SettingsAndStatisticsShareThePlaceBesideItAndSettingsHoldsBackStartAndUpdate) {
    ProgramFixture f;
    ProgramFixture::Press(f.main(), kSpeedButton1);
    EXPECT_TRUE(f.settings().IsVisible());
    EXPECT_FALSE(ProgramFixture::Enabled(f.main(), kSpeedButton3));
    EXPECT_FALSE(ProgramFixture::Enabled(f.main(), kSpeedButton5));
    RECT main{}, settings{};
    ::GetWindowRect(f.main().Handle(), &main);
    ::GetWindowRect(f.settings().Handle(), &settings);
    EXPECT_EQ(settings.left, main.right);
    EXPECT_EQ(settings.top, main.top);

    // "Статистика" closes settings and opens statistics at the same place.
    ProgramFixture::Press(f.main(), kSpeedButton2);
    EXPECT_FALSE(f.settings().IsVisible());
    EXPECT_TRUE(f.statistics().IsVisible());
    EXPECT_TRUE(ProgramFixture::Enabled(f.main(), kSpeedButton3));
    RECT statistics{};
    ::GetWindowRect(f.statistics().Handle(), &statistics);
    EXPECT_EQ(statistics.left, main.right);
    EXPECT_EQ(statistics.top, main.top);
    ProgramFixture::Press(f.main(), kSpeedButton2);
    EXPECT_FALSE(f.statistics().IsVisible());

    // The settings window's own close box gives start and update back as well.
    ProgramFixture::Press(f.main(), kSpeedButton1);
    ::SendMessageW(f.settings().Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(f.settings().IsVisible());
    EXPECT_TRUE(ProgramFixture::Enabled(f.main(), kSpeedButton3));
    EXPECT_TRUE(ProgramFixture::Enabled(f.main(), kSpeedButton5));

    // Enter presses the focused button, as Space does.
    ::SetFocus(f.main().Control(kSpeedButton2));
    MSG enter{f.main().Control(kSpeedButton2), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    DispatchProgramMessage(enter);
    EXPECT_TRUE(f.statistics().IsVisible());
}

TEST(SettingsWindow, FoldersAreListedAsGivenAndTheTreeMovesTheCurrentFolder) {
    ProgramFixture f;
    f.write("tree\\Мои программы\\a.exe", CleanProgram(1));
    const std::string odd = f.file("tree\\Мои программы");
    f.settings().ChangeDirectory(odd);
    EXPECT_EQ(f.settings().SelectedFolder(), odd);
    EXPECT_EQ(CurrentDirectory(), odd);
    // The database path was fixed at start-up and stays.
    EXPECT_EQ(f.state().BasePath, f.file("virbase.kvd"));

    ProgramFixture::Press(f.settings(), kOptionsButton1);
    ProgramFixture::Press(f.settings(), kOptionsButton1);  // twice: listed twice
    ASSERT_EQ(f.settings().FolderCount(), 2);
    EXPECT_EQ(f.settings().FolderAt(1), odd);
    EXPECT_EQ(::SendMessageW(f.settings().Control(kListBox1), LB_GETCOUNT, 0, 0), 2);
    // "<<" with nothing selected deletes nothing; with a selection, that entry.
    ProgramFixture::Press(f.settings(), kOptionsButton2);
    EXPECT_EQ(f.settings().FolderCount(), 2);
    f.settings().AddFolder("C:\\");
    ::SendMessageW(f.settings().Control(kListBox1), LB_SETCURSEL, 2, 0);
    f.settings().ListBox1Click();
    EXPECT_EQ(Utf8(f.settings().ListHint()), odd + "\n" + odd + "\nC:\\");
    ::SendMessageW(f.settings().Control(kListBox1), LB_SETCURSEL, 0, 0);
    ProgramFixture::Press(f.settings(), kOptionsButton2);
    EXPECT_EQ(f.settings().FolderCount(), 2);
    EXPECT_EQ(f.settings().FolderAt(1), "C:\\");
    ProgramFixture::Press(f.settings(), kOptionsButton2);  // the selection went with the entry
    EXPECT_EQ(f.settings().FolderCount(), 2);

    // A drive's root keeps its separator; the drive selector follows the tree.
    f.settings().ChangeDirectory("C:\\");
    EXPECT_EQ(f.settings().SelectedFolder(), "C:\\");
    EXPECT_EQ(ProgramFixture::Text(f.settings(), kDriveComboBox1), "C:\\");
}

TEST(UpdateWindow, EnterPressesTheFocusedButtonAndOkOnlyFromThePathBox) {
    ProgramFixture f;
    const Bytes update = AssembleSource(R"(entry "Test.Added"
match at 0 pattern "KVXA"
)");
    const std::string updatePath = f.write("updates\\extra.kvd", update);
    const Bytes before = ReadBytes(f.file("virbase.kvd"));
    int dialogs = 0;
    std::wstring title, filter;
    f.update().SetFileDialog([&](OPENFILENAMEW& dialog) {
        ++dialogs;
        title = dialog.lpstrTitle;
        filter.assign(dialog.lpstrFilter, 21 + 1 + 5 + 1);
        lstrcpynW(dialog.lpstrFile, Wide(updatePath).c_str(), static_cast<int>(dialog.nMaxFile));
        return true;
    });
    ProgramFixture::Press(f.main(), kSpeedButton5);
    ASSERT_TRUE(f.update().IsVisible());
    const auto enterOn = [&](int id) {
        ::SetFocus(f.update().Control(id));
        MSG enter{f.update().Control(id), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        DispatchProgramMessage(enter);
    };

    enterOn(kRenewButton1);  // the dialog, not the update
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Utf8(title), "Вирусные базы");
    EXPECT_EQ(filter, std::wstring(L"Korvax database files\0*.kvd\0", 28));
    EXPECT_EQ(ProgramFixture::Text(f.update(), kEdit1), updatePath);
    EXPECT_EQ(ReadBytes(f.file("virbase.kvd")), before);
    EXPECT_EQ(f.state().pool.VirusBase.size(), 2U);

    // A dialog cancelled leaves the path as it was.
    f.update().SetFileDialog([](OPENFILENAMEW&) { return false; });
    ProgramFixture::Press(f.update(), kRenewButton1);
    EXPECT_EQ(ProgramFixture::Text(f.update(), kEdit1), updatePath);

    enterOn(kEdit1);  // OK: the update
    EXPECT_TRUE(f.errors.empty()) << Joined(f.errors);
    Bytes joined = before;
    joined.insert(joined.end(), update.begin(), update.end());
    EXPECT_EQ(ReadBytes(f.file("virbase.kvd")), joined);
    EXPECT_EQ(f.state().pool.VirusBase.size(), 3U);
    EXPECT_TRUE(f.update().IsVisible());  // OK leaves the window open, the path in it

    enterOn(kBitBtn2);  // Cancel: hidden, nothing appended
    EXPECT_FALSE(f.update().IsVisible());
    EXPECT_EQ(f.state().pool.VirusBase.size(), 3U);
    EXPECT_EQ(ProgramFixture::Text(f.update(), kEdit1), updatePath);

    // Escape closes it too; a file that is no database is refused with its message.
    ProgramFixture::Press(f.main(), kSpeedButton5);
    ::SetWindowTextW(f.update().Control(kEdit1), Wide(f.file("nothing-here.kvd")).c_str());
    ProgramFixture::Press(f.update(), kBitBtn1);
    ASSERT_EQ(f.errors.size(), 1U);
    EXPECT_EQ(f.errors[0], "Cannot open file " + f.file("nothing-here.kvd"));
    MSG escape{f.update().Control(kEdit1), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    DispatchProgramMessage(escape);
    EXPECT_FALSE(f.update().IsVisible());
    EXPECT_EQ(ReadBytes(f.file("virbase.kvd")), joined);
}

TEST(StartUp, WithoutADatabaseTheMessageIsShownAndWithoutTheLoadLibraryOnlyTheMainWindowIsMade) {
    ProgramFixture f(false);
    ASSERT_EQ(f.errors.size(), 1U);
    EXPECT_EQ(f.errors[0], "Cannot open file " + f.file("virbase.kvd"));
    EXPECT_TRUE(f.state().pool.VirusBase.empty());
    EXPECT_TRUE(f.program->Started());

    ProgramOptions options;
    options.startup.steps.loadLibrary = "korvax-no-such-library.dll";
    options.startup.steps.measureMhz = [] { return 1000.0L; };
    Program without(options);
    EXPECT_FALSE(without.Started());
    EXPECT_NE(without.StartFailure().find("korvax-no-such-library.dll"), std::string::npos) << without.StartFailure();
}

TEST(Check, TheStartButtonChecksTheListedFoldersCuresAndListsRowsAndCounters) {
    ProgramFixture f;
    f.write("tree\\clean.exe", CleanProgram(1));
    const std::string infected = f.write("tree\\sub\\infected.exe", PrependInfected(CleanProgram(2)));
    const std::string marked = f.write("tree\\marked.com", BytesOf("KVXM and the rest of a program"));
    f.runCheck({f.file("tree")});
    EXPECT_TRUE(f.errors.empty()) << Joined(f.errors);
    EXPECT_EQ(ReadBytes(infected), CleanProgram(2));
    std::vector<std::string> rows = f.rows();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{marked + "|Test.Mark|Пропущен", infected + "|Test.Prepend|Вылечен"}));
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1 + 9), "3");  // "Всего:"
    f.main().Timer1Timer();
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1 + 7), "3");  // "Проверено:"
    EXPECT_EQ(ProgramFixture::Text(f.main(), kLabel1 + 5), "0/0");
    EXPECT_EQ(f.main().GaugePercent(), 100);
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel5), "3");
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel6), "1");
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel7), "2");
    EXPECT_EQ(ProgramFixture::Text(f.statistics(), kStatLabel8), "0");
    // The buttons are back as they were before the check.
    EXPECT_TRUE(ProgramFixture::Enabled(f.main(), kSpeedButton3));
    EXPECT_FALSE(ProgramFixture::Enabled(f.main(), kSpeedButton4));

    // The cured row's menu puts the file back, with a row of its own; the other row's menu
    // has nothing to put back.
    int curedRow = -1;
    for (int row = 0; row < f.statistics().RowCount(); ++row) {
        if (f.statistics().MenuFor(row).restore) curedRow = row;
    }
    ASSERT_GE(curedRow, 0);
    EXPECT_TRUE(f.statistics().MenuFor(curedRow == 0 ? 1 : 0).backups);
    EXPECT_FALSE(f.statistics().MenuFor(curedRow == 0 ? 1 : 0).restore);
    f.statistics().MenuChosen(curedRow, kRestoreItem);
    EXPECT_TRUE(f.errors.empty()) << Joined(f.errors);
    EXPECT_EQ(ReadBytes(infected), PrependInfected(CleanProgram(2)));
    EXPECT_EQ(f.rows().back(), infected + "|Test.Prepend|Восстановлен");
    f.statistics().MenuChosen(curedRow, kBackupsItem);
    EXPECT_TRUE(f.restore().IsVisible());
    ASSERT_EQ(f.restore().Listed().size(), 1U);
    const std::vector<std::string> listed = ProgramFixture::Rows(f.restore().Control(kBackupList));
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0].substr(0, infected.size() + 14), infected + "|Test.Prepend|");
    EXPECT_TRUE(listed[0].ends_with("|да")) << listed[0];
}

// Runs `probe` on every tick of a thread timer: the check pumps the window messages, so
// the probe runs inside it.
class ProbingTimer {
public:
    explicit ProbingTimer(std::function<void()> probe) : probe_(std::move(probe)) {
        instance_ = this;
        timer_ = ::SetTimer(nullptr, 0, 1, &ProbingTimer::Tick);
    }
    ~ProbingTimer() {
        ::KillTimer(nullptr, timer_);
        instance_ = nullptr;
    }
    ProbingTimer(const ProbingTimer&) = delete;
    ProbingTimer& operator=(const ProbingTimer&) = delete;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (instance_ != nullptr) instance_->probe_();
    }
    static inline ProbingTimer* instance_ = nullptr;
    std::function<void()> probe_;
    UINT_PTR timer_ = 0;
};

TEST(Check, DuringACheckNothingIsRestoredOrUpdatedAndTheCloseBoxStopsItFirst) {
    ProgramFixture f;
    for (int i = 0; i < 200; ++i) f.write("tree\\f" + std::to_string(i) + ".exe", CleanProgram(i));
    f.statistics().AddRow({f.file("earlier.exe"), "Test.Prepend", kCuredText, ResultCode::Cured});
    EXPECT_TRUE(f.statistics().MenuFor(0).restore);
    bool closed = false;
    f.main().onClosed = [&] { closed = true; };
    bool probed = false;
    TForm3::RowMenu menu{true, true};
    bool okEnabled = true;
    {
        ProbingTimer probing([&] {
            if (probed || !f.main().CheckRunning()) return;
            probed = true;
            menu = f.statistics().MenuFor(0);
            okEnabled = ::IsWindowEnabled(f.update().Control(kBitBtn1)) != FALSE;
            ::SendMessageW(f.main().Handle(), WM_CLOSE, 0, 0);  // the close box, mid-check
        });
        f.runCheck({f.file("tree")});
    }
    ASSERT_TRUE(probed) << "the check pumped no timer message";
    EXPECT_FALSE(menu.restore);
    EXPECT_FALSE(menu.backups);
    EXPECT_FALSE(okEnabled);
    // The window stayed while the check ran, and closes after it: its close comes as a
    // message once the check has ended.
    EXPECT_FALSE(closed);
    EXPECT_TRUE(f.state().StopRequested);
    EXPECT_TRUE(f.state().pool.Threads->empty());
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchProgramMessage(message);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(ProgramFixture::Enabled(f.update(), kBitBtn1));
    EXPECT_TRUE(f.statistics().MenuFor(0).restore);
}

}  // namespace
}  // namespace korvax::wingui
