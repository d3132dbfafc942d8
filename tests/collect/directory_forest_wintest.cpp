// The dump's forest on the directory classes, against the harness's OpenLDAP
// server: the code page, a missing tree, Wine's system information.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "collect/active_directory_dump.h"
#include "support/ldap_server_win.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_support::LdapTest;

// Fields, values and paging are the whole dump's test; here the code page.
TEST_F(LdapTest, ForestTextsOutsideTheCodePageAreMarked) {
  ASSERT_EQ(GetACP(), 1252u);
  auto forest = DirectoryForestAt({}, server_, false, 2);
  long failure = -1;
  auto rows = forest->Search("ou=abroad,dc=example,dc=com", "(uid=lukasz)", {"cn"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  DirectoryRow row;
  ASSERT_TRUE(rows->Next(&row, &failure));
  // L with stroke is not in code page 1252: a visible "?", never a
  // look-alike "L"; o-acute is.
  EXPECT_THAT(row, ElementsAre(ElementsAre("?ukasz W\xF3jcik")));
}

TEST_F(LdapTest, ForestSearchOfAMissingTreeEndsWithItsFailure) {
  auto forest = DirectoryForestAt({}, server_, false, 1000);
  std::vector<std::string> trees{"left over"};
  long failure = -1;
  ASSERT_TRUE(forest->TreeNames(&trees, &failure));
  EXPECT_THAT(trees, IsEmpty());
  auto rows = forest->Search("ou=nowhere,dc=example,dc=com", "(objectClass=*)", {"cn"}, &failure);
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(failure, HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
  EXPECT_THAT(testing_support::refusedPaths, IsEmpty());
}

// Wine's system information cannot list the trees: the production forest
// says so, and the dump then writes header rows only.
TEST_F(LdapTest, SystemForestWithoutTreesUnderWine) {
  auto forest = SystemDirectoryForest();
  EXPECT_TRUE(forest->ClientPresent());
  std::vector<std::string> trees{"left over"};
  long failure = 0;
  EXPECT_FALSE(forest->TreeNames(&trees, &failure));
  EXPECT_EQ(failure, E_NOTIMPL);
  EXPECT_THAT(trees, IsEmpty());
}

}  // namespace
