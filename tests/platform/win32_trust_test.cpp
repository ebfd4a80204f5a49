// The trust rule on Windows, read from security descriptors: who owns each entry of a path
// and whom its DACL lets change it. Wine gives every file one owner and a DACL that only
// lets everyone read, so the rule is tested on descriptors made as Windows makes them
// (their text form), and the walk, the backup folder and the report file under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <string>

#include "platform/owned_output_file.h"
#include "platform/private_folder.h"
#include "platform/trusted_path.h"
#include "platform/win32/file_security.h"
#include "platform/win32/system_path.h"
#include "test_support.h"

namespace korvax {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::TempFolder;

constexpr const wchar_t* kMe = L"S-1-5-21-1-2-3-1001";

class Sid {
public:
    explicit Sid(const wchar_t* text) { EXPECT_TRUE(::ConvertStringSidToSidW(text, &sid_)); }
    ~Sid() { ::LocalFree(sid_); }
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
    PSID get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

// The rule's verdict on a descriptor: empty when it holds.
std::string Verdict(const std::wstring& sddl, bool folder, bool target) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                        nullptr))
        << ::GetLastError();
    const Sid me(kMe);
    const auto failure = win32::TrustFailure(descriptor, me.get(), folder, target);
    ::LocalFree(descriptor);
    return failure.value_or("");
}

TEST(Win32TrustRule, OwnersAndWritersAreReadFromTheDescriptor) {
    const std::wstring mine = L"O:" + std::wstring(kMe);
    // Owners: the user, the Administrators, SYSTEM and the system's installer, nobody else.
    EXPECT_EQ(Verdict(mine + L"D:P(A;;FA;;;" + kMe + L")", false, true), "");
    EXPECT_EQ(Verdict(L"O:BAD:P(A;;FA;;;BA)(A;;0x1200a9;;;BU)", false, true), "");
    EXPECT_EQ(Verdict(L"O:SYD:P(A;;FA;;;SY)", true, false), "");
    EXPECT_EQ(Verdict(L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;0x1200a9;;;WD)",
                      true, false),
              "");
    EXPECT_NE(Verdict(L"O:S-1-5-21-1-2-3-1002D:P(A;;FA;;;S-1-5-21-1-2-3-1002)", false, true).find("belongs to "
                                                                                                  "S-1-5-21-1-2-3-1002"),
              std::string::npos);
    // Others who may change the file, its permissions or its owner, or remove it.
    for (const wchar_t* writer : {L"(A;;FA;;;WD)", L"(A;;FW;;;BU)", L"(A;;GW;;;AU)", L"(A;;0x00010000;;;BU)",
                                  L"(A;;0x00040000;;;S-1-5-21-1-2-3-1002)", L"(A;;0x00000002;;;BU)"}) {
        const std::wstring sddl = mine + L"D:P(A;;FA;;;" + kMe + L")" + writer;
        EXPECT_NE(Verdict(sddl, false, true).find("other users"), std::string::npos) << std::string(sddl.begin(), sddl.end());
    }
    // Reading and running are nobody's harm.
    EXPECT_EQ(Verdict(mine + L"D:P(A;;0x1200a9;;;WD)(A;;FA;;;" + kMe + L")", false, true), "");
    // A folder on the way where others may add entries (as everyone may in C:\): what
    // stands below is held to the rule itself. Removing or renaming what it holds is not
    // theirs to do; and the folder a check writes into is held to more.
    const std::wstring addOnly = L"O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x4;;;AU)(A;;0x2;;;AU)";
    EXPECT_EQ(Verdict(addOnly, true, false), "");
    EXPECT_NE(Verdict(addOnly, true, true), "");
    EXPECT_NE(Verdict(L"O:SYD:P(A;;FA;;;SY)(A;;0x40;;;AU)", true, false), "");  // FILE_DELETE_CHILD
    // What only applies to what a folder will hold is not the folder's own.
    EXPECT_EQ(Verdict(L"O:SYD:P(A;;FA;;;SY)(A;OICIIO;0x1301bf;;;AU)", true, false), "");
    // Entries that stand for the owner, whoever it is.
    EXPECT_EQ(Verdict(mine + L"D:P(A;;FA;;;CO)(A;;FA;;;OW)", true, true), "");
    // A deny entry never refuses; no DACL at all lets everyone do everything.
    EXPECT_EQ(Verdict(mine + L"D:P(D;;FA;;;WD)(A;;FA;;;" + kMe + L")", false, true), "");
    // (Made by hand: Wine's text form of it gives an empty DACL instead, which lets nobody in.)
    const Sid me(kMe);
    SECURITY_DESCRIPTOR open;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorOwner(&open, me.get(), FALSE));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_NE(win32::TrustFailure(&open, me.get(), false, true).value_or("").find("no DACL"), std::string::npos);
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, FALSE, nullptr, FALSE));
    EXPECT_NE(win32::TrustFailure(&open, me.get(), true, false).value_or("").find("no DACL"), std::string::npos);
    EXPECT_EQ(Verdict(mine + L"D:P", false, true), "");  // an empty DACL lets nobody in
}

// Under Wine every file is the user's and only readable by others: the walk passes from
// the drive's root down, and a missing last part is what a folder about to be made has.
TEST(Win32TrustedPath, APathOfTheUsersOwnIsTrustedFromTheRootDown) {
    TempFolder folder;
    const std::string file = folder.write("db\\virbase.kvd", test::BytesOf("db"));
    EXPECT_EQ(RequireTrusted(file, TrustRule::OwnedAndGuarded), file);
    EXPECT_EQ(RequireTrusted(folder.file("db/./x/../virbase.kvd"), TrustRule::OwnedAndGuarded), file);
    const std::string missing = folder.file("db\\new");
    EXPECT_EQ(RequireTrusted(missing, TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing), missing);
    EXPECT_THROW(RequireTrusted(missing, TrustRule::OwnedAndGuarded, FinalPart::MustExist), Failure);
    EXPECT_THROW(RequireTrusted(folder.file("no\\such\\file"), TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing),
                 Failure);
    // A file on the way is no folder.
    EXPECT_THROW(RequireTrusted(file + "\\below", TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing), Failure);
}

TEST(Win32PrivateFolder, KeepsFilesWholeAppendsAndRemovesOnlyItsOwn) {
    TempFolder folder;
    const std::string path = folder.file("backups");
    PrivateFolder backups(path);
    ASSERT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(backups.CreateNewFile("a.kvq", test::BytesOf("original")));
    EXPECT_FALSE(backups.CreateNewFile("a.kvq", test::BytesOf("other")));  // a name is never written over
    EXPECT_EQ(backups.Read("a.kvq"), test::BytesOf("original"));
    backups.AppendLine("index.jsonl", "{\"one\":1}");
    backups.AppendLine("index.jsonl", "{\"two\":2}");
    EXPECT_EQ(backups.Read("index.jsonl"), test::BytesOf("{\"one\":1}\n{\"two\":2}\n"));
    EXPECT_TRUE(backups.Read("missing", true).empty());
    EXPECT_THROW(backups.Read("missing"), Failure);
    EXPECT_TRUE(backups.Remove("a.kvq"));
    EXPECT_FALSE(backups.Remove("a.kvq"));
    EXPECT_EQ(fs::directory_iterator(path)->path().filename().string(), "index.jsonl");

    // A file in its place is no folder.
    folder.write("not-a-folder", Bytes(3));
    EXPECT_THROW(PrivateFolder(folder.file("not-a-folder")), FolderRefused);
}

TEST(Win32OwnedOutputFile, TheReportIsWrittenWholeAndNeverOverAFolder) {
    TempFolder folder;
    const std::string path = folder.file("report.jsonl");
    OwnedOutputFile report(path);
    EXPECT_FALSE(fs::exists(path));  // nothing is touched until the end
    report.Write(test::BytesOf("{\"a\":1}\n"));
    EXPECT_EQ(ReadBytes(path), test::BytesOf("{\"a\":1}\n"));
    // Written again at the end of another run: replaced whole.
    OwnedOutputFile(path).Write(test::BytesOf("{\"b\":2}\n"));
    EXPECT_EQ(ReadBytes(path), test::BytesOf("{\"b\":2}\n"));
    // A failing disk leaves the report there as it was, and nothing beside it.
    InjectedWriteFaults failing;
    failing.Fail(WriteStep::Flush, WriteFault::IoError);
    EXPECT_THROW(OwnedOutputFile(path).Write(test::BytesOf("{\"c\":3}\n"), failing.calls()), Failure);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("{\"b\":2}\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
    fs::create_directory(folder.file("a-folder"));
    EXPECT_THROW(OwnedOutputFile(folder.file("a-folder")), NotTrusted);
}

}  // namespace
}  // namespace korvax
