// What every desktop front end shares: the command line, the start in the user's own
// folder, the start-up, the check with its backups and the restore. Driven without any
// window: a recording display and a pump that counts the window messages it was asked for.
#include <gtest/gtest.h>

#include <functional>

#include "check/startup.h"
#include "desktop/desktop_arguments.h"
#include "desktop/desktop_check.h"
#include "desktop/desktop_pump.h"
#include "desktop/desktop_restore.h"
#include "desktop/desktop_startup.h"
#include "desktop/user_folder.h"
#include "engine/scan_result.h"
#include "platform/current_directory.h"
#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/file_name.h"
#include "platform/system_info.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::BytesOf;
using test::ReadBytes;
using test::SampleProgram;
using test::TempFolder;
using test::WithMarkers;

// A cure that takes a four-byte tail off, and a detection without cure.
const char* const kDatabase = R"(
    entry "Tail.A"
    search rel 0 pattern "AAAA"
    size cut 4
    entry "Mark.S"
    search rel 0 pattern "STUK"
)";

// Puts the current folder back, whatever a test moved it to.
class CurrentFolderKept {
public:
    CurrentFolderKept() : folder_(CurrentDirectory()) {}
    ~CurrentFolderKept() {
        try {
            ChangeCurrentDirectory(folder_);
        } catch (const Failure&) {
        }
    }

private:
    std::string folder_;
};

class RecordingDisplay : public CheckDisplay {
public:
    int FolderCount() override { return static_cast<int>(folders.size()); }
    std::string FolderAt(int index) override { return folders[static_cast<std::size_t>(index)]; }
    void ShowPreparing(bool) override {}
    void SetButtonEnabled(MainButton, bool) override {}
    void ShowTotal(std::int32_t) override {}
    void AddRow(const ResultRow& row) override { rows.push_back(row); }

    std::vector<std::string> folders;
    std::vector<ResultRow> rows;
};

// The window messages of a toolkit, counted; `onMessages` stands for what they may do
// (a press of the close box, say).
class CountingPump : public DesktopPump {
public:
    explicit CountingPump(ProgramState& state) : DesktopPump(state.sync) {}
    int windowMessages = 0;
    std::function<void()> onMessages;

protected:
    void ProcessWindowMessages() override {
        ++windowMessages;
        if (onMessages) onMessages();
    }
};

TEST(DesktopArguments, OptionsFoldersAndTheEndOfOptions) {
    const DesktopArguments plain = ReadDesktopArguments({"C:\\a b", "--user-folder", "-odd", "--", "--help", "--"});
    EXPECT_TRUE(plain.userFolder);
    EXPECT_FALSE(plain.help);
    EXPECT_FALSE(plain.version);
    EXPECT_EQ(plain.folders, (std::vector<std::string>{"C:\\a b", "-odd", "--help", "--"}));
    EXPECT_TRUE(ReadDesktopArguments({"x", "-h"}).help);
    EXPECT_TRUE(ReadDesktopArguments({"--version"}).version);
    EXPECT_FALSE(ReadDesktopArguments({"x"}).userFolder);
    EXPECT_TRUE(ReadDesktopArguments({}).folders.empty());
}

TEST(UserFolder, FirstStartCopiesTheDefaultAndEntersTheFolderLaterStartsKeepTheUsersCopy) {
    CurrentFolderKept kept;
    TempFolder temp;
    const std::string defaults = temp.write("program/virbase.kvd", BytesOf("default database"));
    const std::string user = (temp.path() / "local" / "Korvax").string();
    const UserFolderPlaces places{user, {temp.file("program/share/virbase.kvd"), defaults}};

    EXPECT_TRUE(EnterUserFolder(places).empty());
    EXPECT_EQ(CurrentDirectory(), user);
    EXPECT_EQ(ReadBytes(JoinPath(user, "virbase.kvd")), BytesOf("default database"));
    EXPECT_EQ(StartupBasePath(), JoinPath(CurrentDirectory(), "virbase.kvd"));

    // The user's copy took an update; a new default never replaces it.
    temp.write("local/Korvax/virbase.kvd", BytesOf("default database plus the user's update"));
    temp.write("program/virbase.kvd", BytesOf("a newer default"));
    ChangeCurrentDirectory(temp.path().string());
    EXPECT_TRUE(EnterUserFolder(places).empty());
    EXPECT_EQ(CurrentDirectory(), user);
    EXPECT_EQ(ReadBytes(JoinPath(user, "virbase.kvd")), BytesOf("default database plus the user's update"));
}

TEST(UserFolder, WithoutADefaultTheUserIsToldAndNoDataFolderIsRefused) {
    CurrentFolderKept kept;
    TempFolder temp;
    const std::string user = temp.file("Korvax");
    const std::vector<std::string> told = EnterUserFolder({user, {temp.file("nowhere/virbase.kvd")}});
    ASSERT_EQ(told.size(), 1U);
    EXPECT_NE(told[0].find("no default database"), std::string::npos) << told[0];
    // Started all the same, where the user's database belongs, which the start-up then
    // says is missing: never in the folder it was started in.
    EXPECT_EQ(CurrentDirectory(), user);
    EXPECT_FALSE(EntryExists(JoinPath(user, "virbase.kvd")));

    ChangeCurrentDirectory(temp.path().string());
    EXPECT_THROW(EnterUserFolder({"", {}}), Failure);
    EXPECT_EQ(CurrentDirectory(), temp.path().string());
    // A data folder that is a file cannot be entered: refused, not run in the start folder.
    temp.write("taken", BytesOf("a file"));
    EXPECT_THROW(EnterUserFolder({temp.file("taken"), {}}), Failure);
    EXPECT_EQ(CurrentDirectory(), temp.path().string());
}

TEST(UserFolder, FoldersNamedOnTheCommandLineKeepNamingTheSameFolders) {
    EXPECT_EQ(AbsoluteFrom("", "a"), "a");
    if (kPathSeparator == '\\') {
        EXPECT_EQ(AbsoluteFrom("C:\\Users\\u", "Мои программы"), "C:\\Users\\u\\Мои программы");
        EXPECT_EQ(AbsoluteFrom("C:\\Users\\u\\", "a"), "C:\\Users\\u\\a");
        EXPECT_EQ(AbsoluteFrom("C:\\Users\\u", "D:\\x"), "D:\\x");
        EXPECT_EQ(AbsoluteFrom("C:\\Users\\u", "\\\\server\\share"), "\\\\server\\share");
        // The root of the start folder's drive, not a folder inside the start folder.
        EXPECT_EQ(AbsoluteFrom("C:\\Users\\u", "\\x"), "C:\\x");
    } else {
        EXPECT_EQ(AbsoluteFrom("/home/u", "tree/a"), "/home/u/tree/a");
        EXPECT_EQ(AbsoluteFrom("/home/u/", "a"), "/home/u/a");
        EXPECT_EQ(AbsoluteFrom("/home/u", "/srv"), "/srv");
        // Windows' spellings are plain names on Linux.
        EXPECT_EQ(AbsoluteFrom("/home/u", "D:\\x"), "/home/u/D:\\x");
    }
}

class DesktopStartupTest : public ::testing::Test {
protected:
    void SetUp() override { ChangeCurrentDirectory(temp.path().string()); }

    StartupSteps steps() {
        StartupSteps steps;
        steps.measureMhz = [] { return 2394.7L; };
        return steps;
    }

    CurrentFolderKept kept;
    TempFolder temp;
    ProgramState state;
};

TEST_F(DesktopStartupTest, LoadsTheDatabaseOfTheStartFolderAndRefreshesTheFigures) {
    temp.write("virbase.kvd", AssembleSource(kDatabase));
    const DesktopStartup startup(state, steps());
    ASSERT_TRUE(startup.LibraryBound()) << startup.LibraryFailure();
    EXPECT_EQ(startup.Frequency(), "2394 Mhz");
    EXPECT_TRUE(startup.Messages().empty());
    EXPECT_EQ(state.BasePath, JoinPath(CurrentDirectory(), "virbase.kvd"));
    EXPECT_EQ(state.pool.VirusBase.size(), 2U);
    EXPECT_GT(state.MemoryLimit, 0);

    state.pool.PendingCount = 3;
    state.pool.CheckedCount = 2;
    state.files.TotalFiles = 3;
    const StatusFigures figures = startup.Refresh(state);
    EXPECT_EQ(figures.pool, "3/0");
    EXPECT_EQ(figures.gauge, 66);
    EXPECT_EQ(figures.checked, "2");
    EXPECT_EQ(figures.load, std::to_string(state.CpuLoad < 0 ? -state.CpuLoad : state.CpuLoad) + "%");
}

TEST_F(DesktopStartupTest, AMissingDatabaseIsToldAndTheProgramRunsWithoutOne) {
    const DesktopStartup startup(state, steps());
    ASSERT_TRUE(startup.LibraryBound());
    ASSERT_EQ(startup.Messages().size(), 1U);
    EXPECT_EQ(startup.Messages()[0], "Cannot open file " + state.BasePath);
    EXPECT_TRUE(state.pool.VirusBase.empty());
}

TEST_F(DesktopStartupTest, WithoutTheLoadLibraryNothingElseIsDone) {
    temp.write("virbase.kvd", AssembleSource(kDatabase));
    StartupSteps missing = steps();
    missing.loadLibrary = "no-such-load-library";
    const DesktopStartup startup(state, missing);
    EXPECT_FALSE(startup.LibraryBound());
    EXPECT_NE(startup.LibraryFailure().find("no-such-load-library"), std::string::npos) << startup.LibraryFailure();
    EXPECT_EQ(startup.Frequency(), "2394 Mhz");
    EXPECT_TRUE(state.BasePath.empty());
    EXPECT_TRUE(state.pool.VirusBase.empty());
}

class DesktopCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.pool.VirusBase = test::BaseFromSource(kDatabase);
        display.folders = {temp.file("tree")};
        temp.write("tree/clean.exe", clean);
        infected = temp.write("tree/sub/infected.exe", WithMarkers(clean, "AAAA"));
    }

    DesktopCheck check(const std::string& store) {
        return DesktopCheck(state, SystemFileWriteCalls(), store,
                            {[this](const std::string& note) { events.push_back("store opened: " + note); },
                             [this](bool running) { events.push_back(running ? "running" : "ended"); }});
    }

    TempFolder temp;
    ProgramState state;
    RecordingDisplay display;
    CountingPump pump{state};
    Bytes clean = SampleProgram(400);
    std::string infected;
    std::vector<std::string> events;
};

TEST_F(DesktopCheckTest, CuresKeepTheirOriginalsAndAFileCanBePutBackButNotDuringACheck) {
    DesktopCheck desktop = check(temp.file("store"));
    EXPECT_EQ(desktop.Start(display, pump), "");
    EXPECT_EQ(events, (std::vector<std::string>{"store opened: ", "running", "ended"}));
    EXPECT_FALSE(desktop.Running());
    // The workers' rows came through the synchronised calls the pump ran after the
    // toolkit's own messages.
    EXPECT_GT(pump.windowMessages, 0);
    ASSERT_EQ(display.rows.size(), 1U);
    EXPECT_EQ(display.rows[0].status, "Tail.A");
    EXPECT_EQ(ReadBytes(infected), clean);
    EXPECT_TRUE(EntryExists(temp.file("store/index.jsonl")));

    std::vector<ResultRow> restoredRows;
    const auto addRow = [&](const ResultRow& row) { restoredRows.push_back(row); };
    state.CheckRunning = true;
    try {
        RestoreChosenFiles(state, temp.file("store"), {infected}, addRow);
        ADD_FAILURE() << "a restore ran during a check";
    } catch (const Failure& refused) {
        EXPECT_STREQ(refused.what(), "Во время проверки восстановление невозможно");
    }
    EXPECT_EQ(ReadBytes(infected), clean);
    state.CheckRunning = false;

    const DesktopRestore restored = RestoreChosenFiles(state, temp.file("store"), {infected}, addRow);
    EXPECT_EQ(restored.restored, 1);
    EXPECT_EQ(restored.refused, 0);
    EXPECT_EQ(restored.message, "");
    EXPECT_EQ(ReadBytes(infected), WithMarkers(clean, "AAAA"));
    ASSERT_EQ(restoredRows.size(), 1U);
    EXPECT_EQ(restoredRows[0].path, infected);
    EXPECT_EQ(restoredRows[0].action, kRestoredText);

    // Asked again, the file is as it was already: said once, nothing written.
    const DesktopRestore again = RestoreChosenFiles(state, temp.file("store"), {infected}, addRow);
    EXPECT_EQ(again.restored, 0);
    EXPECT_EQ(again.message, "Уже такой, как до лечения: " + infected);
    // The next check finds the file put back clean: it is trusted while it stays so.
    display.rows.clear();
    EXPECT_EQ(desktop.Start(display, pump), "");
    EXPECT_TRUE(display.rows.empty());
    EXPECT_EQ(ReadBytes(infected), WithMarkers(clean, "AAAA"));
}

TEST_F(DesktopCheckTest, AStoreThatCannotBeMadeCuresNothingAndTellsItOnceAtTheEnd) {
    temp.write("taken", BytesOf("a file where the store's folder should be"));
    DesktopCheck desktop = check(temp.file("taken/store"));
    const std::string told = desktop.Start(display, pump);
    EXPECT_EQ(told.rfind("Не вылечено файлов: 1. ", 0), 0U) << told;
    EXPECT_NE(told.find("хранилище резервных копий недоступно: "), std::string::npos) << told;
    EXPECT_EQ(ReadBytes(infected), WithMarkers(clean, "AAAA"));
    ASSERT_EQ(display.rows.size(), 1U);
    EXPECT_EQ(display.rows[0].code, ResultCode::ReadError);
}

TEST_F(DesktopCheckTest, TheCloseBoxDuringACheckStopsItAndTheWindowClosesAfterIt) {
    DesktopCheck desktop = check(temp.file("store"));
    EXPECT_TRUE(desktop.CloseRequested());  // no check: closes at once
    EXPECT_FALSE(desktop.CloseAfterCheck());
    bool asked = false;
    bool mayClose = true;
    pump.onMessages = [&] {
        if (asked || !desktop.Running()) return;
        asked = true;
        mayClose = desktop.CloseRequested();
    };
    desktop.Start(display, pump);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(mayClose);
    EXPECT_TRUE(desktop.CloseAfterCheck());
    EXPECT_TRUE(state.StopRequested);
    EXPECT_TRUE(state.pool.Threads->empty());
    EXPECT_FALSE(desktop.Running());
}

}  // namespace
}  // namespace korvax
