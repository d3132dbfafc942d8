// The whole dump against the harness's OpenLDAP server: aligned fields,
// multi-valued and DN values, paging, two searches over two trees.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "collect/active_directory_dump.h"
#include "support/ldap_server_win.h"
#include "support/log_entries.h"
#include "support/test_support.h"

namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using testing_support::CapturedLog;
using testing_support::FileLines;
using testing_support::LdapTest;
using testing_support::ScratchFolder;
using Strings = std::vector<std::string>;

class Listed : public ManifestRecorder {
 public:
  Strings rows;
  void AddFile(const std::string& relativePath, const std::string&) override {
    rows.push_back(relativePath);
  }
};

ActionElement::Node Node(const std::string& name, const std::string& attribute,
                         const std::string& value, std::vector<size_t> children = {}) {
  return {name, {{attribute, value}}, std::move(children)};
}

TEST_F(LdapTest, DumpWritesEveryTreeAlignedAndPaged) {
  ActionElement element;
  element.nodes = {
      {"ACTIVE_DIRECTORY", {}, {1, 2}},
      Node("SEARCH", "Value", "(objectClass=inetOrgPerson)", {3, 4, 5, 6, 7}),
      Node("SEARCH", "Value", "(cn=member*)", {8, 9}),
      Node("Scope", "Value", "all"),
      Node("Attrib", "Value", "uid"),
      Node("Attrib", "Value", "mail"),
      Node("Attrib", "Value", "manager"),
      Node("Attrib", "Value", "cn"),
      Node("Scope", "Value", "all"),
      Node("Attrib", "Value", "cn"),
  };
  ScratchFolder root("adw");
  CapturedLog log;
  Listed listed;
  RunContext context = log.Context();
  context.manifest = &listed;
  // Pages of two: every tree is read past several pages.
  auto forest = DirectoryForestAt({"ou=people,dc=example,dc=com", "ou=many,dc=example,dc=com"},
                                  server_, false, 2);
  ActiveDirectoryDump dump(element, root.path(), context);
  dump.Dump(root.path(), *forest);

  const Strings lines = FileLines(root.path() + "\\ADS_Info.csv");
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0], "all,(objectClass=inetOrgPerson),uid,mail,manager,cn");
  EXPECT_THAT(Strings(lines.begin() + 1, lines.begin() + 5),
              UnorderedElementsAre(
                  AnyOf("alice,alice@example.com;a.archer@example.com,,Alice Archer",
                        "alice,a.archer@example.com;alice@example.com,,Alice Archer"),
                  "bob,bob@example.com,\"uid=alice,ou=people,dc=example,dc=com\",Bob Baker",
                  "zoe,,,Zo\xEB M\xFCller", "carol,,,Carol (Lab)"));
  EXPECT_EQ(lines[5], "all,(cn=member*),cn");
  EXPECT_EQ(lines[6], "member01");
  EXPECT_EQ(lines[17], "member12");
  EXPECT_THAT(listed.rows, ElementsAre("ADS_Info.csv"));
  EXPECT_THAT(log.Entries(), ElementsAre("INFORMATION,Directory dump wrote 16 rows to " +
                                         root.path() + "\\ADS_Info.csv"));
}

}  // namespace
