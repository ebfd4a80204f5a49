// The backup folder's files, on every system: kept whole, never written over, and lines
// appended so that a failure costs no line but the one it cut.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_write_calls.h"
#include "platform/private_folder.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::TempFolder;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(PrivateFolderLines, ALineCutShortByAFullDiskCostsNoOtherLine) {
    TempFolder folder;
    PrivateFolder backups(folder.file("backups"));
    backups.AppendLine("index.jsonl", "{\"one\":1}");
    // The disk fills up four bytes into the next line: the line end cannot be written
    // either, and the cut line stands at the end without one.
    InjectedWriteFaults full;
    full.DiskSpace(4);
    EXPECT_THROW(backups.AppendLine("index.jsonl", "{\"three\":3}", full.calls()), Failure);
    EXPECT_EQ(Text(backups.Read("index.jsonl")), "{\"one\":1}\n{\"th");
    // The next line starts on a line of its own: the reader loses the cut one only.
    backups.AppendLine("index.jsonl", "{\"four\":4}");
    backups.AppendLine("index.jsonl", "{\"five\":5}");
    EXPECT_EQ(Text(backups.Read("index.jsonl")), "{\"one\":1}\n{\"th\n{\"four\":4}\n{\"five\":5}\n");
}

TEST(PrivateFolderLines, AFileIsKeptWholeOrNotAtAllAndNeverWrittenOver) {
    TempFolder folder;
    PrivateFolder backups(folder.file("backups"));
    InjectedWriteFaults failing;
    failing.Fail(WriteStep::Flush, WriteFault::IoError);
    EXPECT_THROW(backups.CreateNewFile("a.kvq", test::BytesOf("original"), failing.calls()), Failure);
    EXPECT_TRUE(backups.Read("a.kvq", true).empty());
    EXPECT_TRUE(backups.CreateNewFile("a.kvq", test::BytesOf("original")));
    EXPECT_FALSE(backups.CreateNewFile("a.kvq", test::BytesOf("other")));
    EXPECT_EQ(backups.Read("a.kvq"), test::BytesOf("original"));
    EXPECT_TRUE(backups.Remove("a.kvq"));
    EXPECT_FALSE(backups.Remove("a.kvq"));
    EXPECT_THROW(backups.Read("a.kvq"), Failure);
}

}  // namespace
}  // namespace korvax
