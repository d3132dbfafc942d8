// The dump's forest on the directory classes, against the harness's OpenLDAP
// server; the dump's rows from it are the unit test's, a failed search start
// too. (Wine's system information lists no trees: tests/e2e/run.sh runs
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

// Columns in the order asked, absent ones empty, every value; texts in the
// code page; every page read.
TEST_F(LdapTest, ForestRowsAlignedInTheCodePageOverEveryPage) {
  ASSERT_EQ(GetACP(), 1252u);
  auto forest = DirectoryForestAt({}, server_, false, 2);
  long failure = -1;
  auto rows = forest->Search("dc=example,dc=com", "(|(uid=alice)(uid=lukasz))",
                             {"telephoneNumber", "cn", "mail"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  std::vector<DirectoryRow> found(2);
  ASSERT_TRUE(rows->Next(&found[0], &failure) && rows->Next(&found[1], &failure));
  // L with stroke is not in code page 1252: a visible "?", never a
  // look-alike "L"; o-acute is.
  EXPECT_THAT(found,
              UnorderedElementsAre(
                  ElementsAre(ElementsAre("+41 44 555 01 01"), ElementsAre("Alice Archer"),
                              UnorderedElementsAre("alice@example.com", "a.archer@example.com")),
                  ElementsAre(IsEmpty(), ElementsAre("?ukasz W\xF3jcik"), IsEmpty())));
  rows = forest->Search("ou=many,dc=example,dc=com", "(cn=member*)", {"cn"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  int count = 0;
  for (DirectoryRow row; rows->Next(&row, &failure);) ++count;
  EXPECT_EQ(count, 12);
  EXPECT_EQ(failure, 0);
  EXPECT_THAT(testing_support::refusedPaths, IsEmpty());
}

}  // namespace
