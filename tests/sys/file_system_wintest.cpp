// The run's own folders and files against Wine's real files: the private
// folder's descriptor as read back, held folders that cannot be renamed,
// files followed by identity and link count, names parsing would change.
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "sys/code_page_win.h"
#include "sys/file_system.h"
#include "sys/links.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

class OwnFolders : public ::testing::Test {
 protected:
  void TearDown() override {
    sys::ReleaseHeldFolders();
    sys::ReleaseAppendHandles();
  }
  ScratchFolder dir{"own"};
};

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return std::wstring();
  std::wstring out = text;
  ::LocalFree(text);
  return out;
}

TEST_F(OwnFolders, PrivateFolderLetsNobodyElseInAndIsHeld) {
  const std::string temp = dir / "~BX_TEMP";
  ASSERT_TRUE(sys::CreatePrivateFolder(temp));
  EXPECT_FALSE(sys::CreatePrivateFolder(temp)) << "only made new";

  // Read back as the system keeps it. Wine keeps it as Unix modes and
  // gives back what they allow (no protected bit, no Administrators): what
  // both show is that nobody but the user and SYSTEM is let in.
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(sys::WidePath(temp).c_str(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                    &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  std::wstring sids;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask & FILE_ALL_ACCESS, static_cast<DWORD>(FILE_ALL_ACCESS));
    sids += SidText(&ace->SidStart) + L";";
  }
  ::LocalFree(descriptor);
  EXPECT_NE(sids.find(L"S-1-5-18;"), std::wstring::npos) << "SYSTEM";
  for (const wchar_t* other : {L"S-1-1-0;", L"S-1-5-11;", L"S-1-5-32-545;"}) {
    EXPECT_EQ(sids.find(other), std::wstring::npos) << "Everyone, Authenticated Users, Users";
  }

  // Renames of held folders by another process: tests/e2e/hostile.sh.
  EXPECT_FALSE(::MoveFileA(temp.c_str(), (dir / "away").c_str())) << "held";
}

TEST_F(OwnFolders, LinesGoOnlyIntoTheFileTheRunWrote) {
  const std::string log = dir / "log.csv";
  const std::string other = dir / "other.txt";
  WriteFile(other, "precious");
  ASSERT_TRUE(sys::AppendToFile(log, "one\r\n"));
  sys::FileFacts first;
  ASSERT_TRUE(sys::AppendedFileFacts(log, &first));

  // Another file moved under the name between two lines.
  sys::ReleaseAppendHandle(log);
  ASSERT_TRUE(::MoveFileExA(other.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(sys::AppendToFile(log, "two\r\n"));
  EXPECT_EQ(ReadFile(log), "precious");
  EXPECT_FALSE(sys::RewriteOwnFile(log, first, [](std::string* text) {
    *text += "signed";
    return true;
  }));
  EXPECT_EQ(ReadFile(log), "precious");
}

TEST_F(OwnFolders, NamesParsingWouldChangeKeepTheirOwnBytes) {
  // Made through the "\\?\" form, as WSL or an SMB client makes them.
  const std::string names[] = {"dot.", "dot", "sp ", "sp", "nul.txt"};
  for (const std::string& name : names) {
    ASSERT_TRUE(sys::WriteWholeFile(dir / name, "bytes of " + name)) << name;
  }
  for (const std::string& name : names) {
    std::string bytes;
    EXPECT_EQ(sys::ReadRegularFile(dir / name, &bytes), "") << name;
    EXPECT_EQ(bytes, "bytes of " + name);
    EXPECT_FALSE(sys::IsLink(dir / name)) << name;
    EXPECT_FALSE(sys::LinkCheck(dir.path()).IsLink(name)) << name;
  }
  std::string bytes;
  EXPECT_EQ(sys::ReadRegularFile("COM1", &bytes), "names a device");
  EXPECT_NE(sys::ReadRegularFile(dir.path(), &bytes), "");
  // Removed as they were made: the system's parsing would remove others.
  for (const std::string& name : names) EXPECT_TRUE(sys::RemoveFile(dir / name)) << name;
}

}  // namespace
