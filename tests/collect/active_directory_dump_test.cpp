#include "collect/active_directory_dump.h"

#include <gmock/gmock.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "run/run_settings.h"
#include "support/log_entries.h"
#include "support/test_support.h"
#include "sys/file_system.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using testing_support::CapturedLog;
using testing_support::ScratchFolder;
using Strings = std::vector<std::string>;

constexpr long kBusy = static_cast<long>(0x80072016);

// Paths as the dump writes them ("\\" joined), read back on this platform.
Strings Lines(const std::string& path) { return testing_support::FileLines(sys::SystemPath(path)); }

// A script element from nested initialisers: name, attributes, children.
struct Spec {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<Spec> children;
};

void Add(ActionElement* element, const Spec& spec) {
  const size_t at = element->nodes.size();
  element->nodes.push_back({spec.name, spec.attributes, {}});
  for (const Spec& child : spec.children) {
    element->nodes[at].children.push_back(element->nodes.size());
    Add(element, child);
  }
}

ActionElement Element(std::vector<Spec> children) {
  ActionElement element;
  Add(&element, Spec{"ACTIVE_DIRECTORY", {}, std::move(children)});
  return element;
}

Spec Search(const std::string& filter, std::vector<Spec> parts) {
  return Spec{"SEARCH", {{"Value", filter}}, std::move(parts)};
}
Spec Attrib(const std::string& name) { return Spec{"Attrib", {{"Value", name}}, {}}; }
Spec Scope(const std::string& scope) { return Spec{"Scope", {{"Value", scope}}, {}}; }
Spec Dump(const std::string& name) { return Spec{"DUMP", {{"Name", name}}, {}}; }

// What one tree answers: its rows, then how the reading ends (0: the end).
struct TreeAnswer {
  std::vector<DirectoryRow> rows;
  long endFailure = 0;
  long startFailure = 0;  // non-zero: the search cannot start
};

class FakeRows : public DirectoryRows {
 public:
  FakeRows(const TreeAnswer& answer, size_t* fetched, std::function<void(size_t)> onFetch)
      : answer_(answer), fetched_(fetched), onFetch_(std::move(onFetch)) {}
  bool Next(DirectoryRow* row, long* failure) override {
    ++*fetched_;
    if (onFetch_) onFetch_(*fetched_);
    if (at_ >= answer_.rows.size()) {
      *failure = answer_.endFailure;
      return false;
    }
    *row = answer_.rows[at_++];
    return true;
  }

 private:
  TreeAnswer answer_;
  size_t* fetched_;
  std::function<void(size_t)> onFetch_;
  size_t at_ = 0;
};

class FakeForest : public DirectoryForest {
 public:
  std::vector<std::string> trees;
  std::map<std::string, TreeAnswer> answers;
  Strings searches;    // "tree|filter|attr,attr"
  size_t fetched = 0;  // objects asked for, over all searches
  std::function<void(size_t)> onFetch;

  bool ClientPresent() override { return true; }
  bool TreeNames(std::vector<std::string>* names, long* failure) override {
    *failure = 0;
    *names = trees;
    return true;
  }
  std::unique_ptr<DirectoryRows> Search(const std::string& tree, const std::string& filter,
                                        const std::vector<std::string>& attributes,
                                        long* failure) override {
    std::string attrs;
    for (const std::string& a : attributes) attrs += (attrs.empty() ? "" : ",") + a;
    searches.push_back(tree + "|" + filter + "|" + attrs);
    const TreeAnswer& answer = answers[tree];
    *failure = answer.startFailure;
    if (answer.startFailure != 0) return nullptr;
    return std::unique_ptr<DirectoryRows>(new FakeRows(answer, &fetched, onFetch));
  }
};

class DirectoryDumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    ASSERT_TRUE(sys::CreateFolder(scriptFolder_));
  }
  void TearDown() override { Settings().Reset(); }

  RunContext Context() {
    RunContext context = log_.Context();
    context.manifest = &manifest_;
    return context;
  }
  // Runs one element and answers the lines of its output.
  Strings Run(const ActionElement& element, const std::string& file = "ADS_Info.csv") {
    ActiveDirectoryDump dump(element, scriptFolder_, Context());
    dump.Dump(root_.path(), forest_);
    return Lines(scriptFolder_ + "\\" + file);
  }
  ScratchFolder root_{"ad"};
  std::string scriptFolder_ = root_.path() + "\\Script";
  CapturedLog log_;
  testing_support::ListedRows manifest_;
  FakeForest forest_;
};

TEST_F(DirectoryDumpTest, ReadsTheElementWithItsDefaults) {
  // The defaults of Scope and Attrib are the whole run's (tests/e2e/run.sh).
  const ActionElement element = Element({
      Dump("first.csv"),
      Search("(objectClass=user)", {Scope("all"), Attrib("cn"), Attrib("mail")}),
      Search("(nothing=asked)", {Scope("all")}),  // no Attrib: dropped
      Spec{"search",
           {},  // no Value: the empty filter
           {Scope("one"), Scope("ALL"), Spec{"Other", {}, {Attrib("deep")}}, Attrib("cn")}},
      Spec{"Group", {}, {Search("(nested=1)", {Attrib("cn")})}},  // not a direct child
      Spec{"dump", {}, {}},  // no Name: the default, and the later DUMP wins
      Spec{"SEARCH", {{"value", "(lowerCaseAttribute)"}}, {Spec{"Attrib", {{"Value", ""}}, {}}}},
  });
  ActiveDirectoryDump dump(element, "C:\\Out\\Script", RunContext());
  EXPECT_EQ(dump.outputPath(), "C:\\Out\\Script\\ADS_Info.csv");
  Strings headers;
  for (const SearchSpec& search : dump.searches()) headers.push_back(DirectoryHeaderRow(search));
  // Attribute names are exact: "value" is not Value.
  EXPECT_EQ(headers, (Strings{"all,(objectClass=user),cn,mail", "ALL,,cn", ",,"}));
}

TEST_F(DirectoryDumpTest, WritesHeadersAndAlignedRowsForEveryTree) {
  forest_.trees = {"DC=a,DC=example", "DC=b,DC=example"};
  forest_.answers["DC=a,DC=example"].rows = {
      {{"Smith"}, {"smith@a.example"}, {"CN=Boss,OU=People,DC=a"}},
      {{}, {"x@a.example", "y@a.example"}, {}},                // no cn, two mails, no manager
      {{"Say \"hi\""}, {}, {"line\r\nbreak"}},                 // quotes, a line break
      {{"\xc3\xa9t\xc3\xa9;x"}, {""}, {"CN=a", "CN=b,DC=c"}},  // non-ASCII, an empty value
  };
  forest_.answers["DC=b,DC=example"].rows = {{{"Only"}}};  // a short row
  const Strings lines =
      Run(Element({Search("(objectClass=user)",
                          {Scope("All"), Attrib("cn"), Attrib("mail"), Attrib("manager")}),
                   Search("(cn=*)", {Attrib("cn")})}));
  EXPECT_THAT(lines,
              ElementsAre("All,(objectClass=user),cn,mail,manager",
                          "Smith,smith@a.example,\"CN=Boss,OU=People,DC=a\"",
                          ",x@a.example;y@a.example,", "\"Say \"\"hi\"\"\",,\"line", "break\"",
                          "\xc3\xa9t\xc3\xa9;x,,\"CN=a;CN=b,DC=c\"", "Only,,", ",(cn=*),cn"));
  EXPECT_EQ(forest_.searches, (Strings{"DC=a,DC=example|(objectClass=user)|cn,mail,manager",
                                       "DC=b,DC=example|(objectClass=user)|cn,mail,manager"}));
  EXPECT_THAT(log_.Entries(),
              ElementsAre("INFORMATION,SEARCH (cn=*) has the scope '', not 'all': header row only",
                          "INFORMATION,Directory dump wrote 5 rows to " + scriptFolder_ +
                              "\\ADS_Info.csv"));
  EXPECT_EQ(manifest_.rows, Strings{"Script\\ADS_Info.csv|"});
}

TEST_F(DirectoryDumpTest, AReadFailureKeepsTheRowsAndTheNextTreeIsSearched) {
  forest_.trees = {"DC=a", "DC=down", "DC=c"};
  forest_.answers["DC=a"] = {{{{"one"}}, {{"two"}}}, kBusy, 0};
  forest_.answers["DC=down"].startFailure = kBusy;
  forest_.answers["DC=c"].rows = {{{"three"}}};
  EXPECT_EQ(Run(Element({Search("(cn=*)", {Scope("all"), Attrib("cn")})})),
            (Strings{"all,(cn=*),cn", "one", "two", "three"}));
  EXPECT_THAT(
      log_.Entries(),
      IsSupersetOf({"WARNING,Directory search (cn=*) in DC=a ended on a read failure "
                    "(0x80072016) after 2 rows",
                    "WARNING,Directory search (cn=*) in DC=down cannot start (0x80072016)"}));
}

TEST_F(DirectoryDumpTest, AFailedWriteStopsTheReading) {
  forest_.trees = {"DC=a", "DC=b"};
  forest_.answers["DC=a"].rows.assign(50, DirectoryRow{{"row"}});
  forest_.answers["DC=b"].rows = {{{"b"}}};
  // The folder vanishes while the third object is fetched: the second row
  // cannot be written, and nothing more is read.
  const std::string output = scriptFolder_ + "\\ADS_Info.csv";
  forest_.onFetch = [&](size_t fetched) {
    if (fetched == 3) {
      sys::RemoveFile(output);
      sys::RemoveFolder(scriptFolder_);
    }
  };
  Run(Element({Search("(cn=*)", {Scope("all"), Attrib("cn")})}));
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_EQ(forest_.fetched, 3u);
  EXPECT_THAT(log_.Entries(), Contains("WARNING,Directory dump stopped before its end: " + output +
                                       " is incomplete (1 rows)"));
}

}  // namespace
