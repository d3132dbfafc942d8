// The dump's forest on the directory classes, against the harness's OpenLDAP
// server: the code page and a missing tree. (Wine's system information lists
// no trees: tests/e2e/directory.sh runs that through the whole program.)
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

}  // namespace
