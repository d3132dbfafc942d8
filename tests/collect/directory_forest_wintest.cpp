// The dump's forest on the directory classes, against the harness's OpenLDAP
// server: fields per requested attribute, every value, the code page.
#include <gmock/gmock.h>

#include <map>
#include <string>
#include <vector>

#include "collect/active_directory_dump.h"
#include "support/ldap_server_win.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using testing_support::LdapTest;

// The rows of a search, by the value of the first requested attribute.
std::map<std::string, DirectoryRow> RowsByFirstField(DirectoryRows& rows, long* failure) {
  std::map<std::string, DirectoryRow> found;
  DirectoryRow row;
  while (rows.Next(&row, failure)) {
    EXPECT_EQ(row.front().size(), 1u);
    if (!row.front().empty()) found[row.front().front()] = row;
  }
  return found;
}

TEST_F(LdapTest, ForestFieldsFollowTheRequestedAttributes) {
  auto forest = DirectoryForestAt({"ou=people,dc=example,dc=com"}, server_, false, 2);
  EXPECT_TRUE(forest->ClientPresent());
  std::vector<std::string> trees;
  long failure = -1;
  ASSERT_TRUE(forest->TreeNames(&trees, &failure));
  EXPECT_THAT(trees, ElementsAre("ou=people,dc=example,dc=com"));

  // Not the directory's own order, and one attribute nobody holds.
  auto rows = forest->Search(trees[0], "(objectClass=inetOrgPerson)",
                             {"uid", "description", "manager", "mail", "cn"}, &failure);
  ASSERT_NE(rows, nullptr) << std::hex << failure;
  const auto found = RowsByFirstField(*rows, &failure);
  EXPECT_EQ(failure, 0);
  ASSERT_EQ(found.size(), 4u);  // two pages of two

  const DirectoryRow& alice = found.at("alice");
  ASSERT_EQ(alice.size(), 5u);
  EXPECT_THAT(alice[1], IsEmpty());
  EXPECT_THAT(alice[2], IsEmpty());
  EXPECT_THAT(alice[3], UnorderedElementsAre("alice@example.com", "a.archer@example.com"));
  EXPECT_THAT(alice[4], ElementsAre("Alice Archer"));
  EXPECT_THAT(found.at("bob")[2], ElementsAre("uid=alice,ou=people,dc=example,dc=com"));
  // Code page 1252 under the harness's Wine: e-diaeresis and u-umlaut.
  ASSERT_EQ(GetACP(), 1252u);
  EXPECT_THAT(found.at("zoe")[4], ElementsAre("Zo\xEB M\xFCller"));
  EXPECT_THAT(found.at("carol")[4], ElementsAre("Carol (Lab)"));

  DirectoryRow after;
  EXPECT_FALSE(rows->Next(&after, &failure));
  EXPECT_EQ(failure, 0);

  // L with stroke is not in code page 1252: a visible "?", never a
  // look-alike "L".
  rows = forest->Search("ou=abroad,dc=example,dc=com", "(uid=lukasz)", {"cn"}, &failure);
  ASSERT_NE(rows, nullptr);
  ASSERT_TRUE(rows->Next(&after, &failure));
  EXPECT_THAT(after, ElementsAre(ElementsAre("?ukasz W\xF3jcik")));
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
