// The dump's forest on the directory classes, against the harness's OpenLDAP
// server; the dump's rows from it are the unit test's, a failed search start
// too. (Wine's system information lists no trees: tests/e2e/directory.sh runs
// that through the whole program.)
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "collect/active_directory_dump.h"
#include "support/ldap_server_win.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using testing_support::LdapTest;

// Columns in the order asked, absent ones empty, every value; every page read.
TEST_F(LdapTest, ForestRowsAlignedOverEveryPage) {
  auto forest = DirectoryForestAt({}, server_, false, 2);
  long failure = -1;
  auto rows = forest->Search("ou=people,dc=example,dc=com", "(uid=alice)",
                             {"telephoneNumber", "manager", "mail", "uid"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  DirectoryRow row;
  ASSERT_TRUE(rows->Next(&row, &failure));
  EXPECT_THAT(row, ElementsAre(ElementsAre("+41 44 555 01 01"), IsEmpty(),
                               UnorderedElementsAre("alice@example.com", "a.archer@example.com"),
                               ElementsAre("alice")));
  rows = forest->Search("ou=many,dc=example,dc=com", "(cn=member*)", {"cn"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  int count = 0;
  while (rows->Next(&row, &failure)) ++count;
  EXPECT_EQ(count, 12);
  EXPECT_EQ(failure, 0);
  EXPECT_THAT(testing_support::refusedPaths, IsEmpty());
}

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

}  // namespace
