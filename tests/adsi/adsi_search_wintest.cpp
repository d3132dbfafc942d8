// Searches and objects against the harness's OpenLDAP server; the failure
// paths that must not reach a real server go through a fake binder. Paging,
// multi-valued columns and Wine's missing tree list are the directory
// dump's tests.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "adsi/adsi_object_win.h"
#include "adsi/adsi_search_win.h"
#include "support/ldap_server_win.h"

namespace {

using testing_support::kLdapBase;
using testing_support::LdapTest;
using Paths = std::vector<std::wstring>;
using ::testing::ElementsAre;
using ::testing::StartsWith;

class AdsiSearch : public LdapTest {
 protected:
  // A search for uid below `base` on the test server.
  HRESULT Start(CADSISearch& search, const char* base, const char* filter) {
    HRESULT hr = search.Attach(_bstr_t(base), server_.c_str(), 0);
    if (FAILED(hr)) return hr;
    search.SetSearchFilter(filter);
    wchar_t uid[] = L"uid";
    wchar_t* names[] = {uid};
    return search.ExecuteSearch(names, 1);
  }
};

TEST_F(AdsiSearch, FilterIsWrappedAndTheLastRowStays) {
  CADSISearch search;
  ASSERT_EQ(Start(search, kLdapBase, "(objectClass=inetOrgPerson)(uid=bob)"), S_OK);
  CADSIValues values;
  ASSERT_EQ(search.GetFirstObject(values), S_OK);
  // The platform adds the object's path to every row.
  const auto bob = ElementsAre(L"bob", StartsWith(L"LDAP://"));
  EXPECT_THAT(testing_support::Texts(values), bob);
  EXPECT_EQ(search.GetNextObject(values), E_FAIL);
  EXPECT_THAT(testing_support::Texts(values), bob);
  EXPECT_THAT(testing_support::refusedPaths, ::testing::IsEmpty());
}

TEST_F(AdsiSearch, AddedConditionsAreEscaped) {
  CADSISearch search;
  search.SetSearchFilter("(objectClass=person)");
  ASSERT_EQ(search.AddSearchAttribute("cn", "Carol (Lab)"), S_OK);
  _bstr_t filter;
  ASSERT_EQ(search.GetSearchFilter(filter), S_OK);
  EXPECT_STREQ(static_cast<const wchar_t*>(filter), L"(objectClass=person)(cn=Carol \\28Lab\\29)");
  CADSISearch other;
  other.AddSearchAttribute("cn", "a\\29)");
  ASSERT_EQ(other.GetSearchFilter(filter), S_OK);
  EXPECT_STREQ(static_cast<const wchar_t*>(filter), L"(cn=a\\5c29\\29)");
}

TEST_F(AdsiSearch, ABaseThatDoesNotExistFailsTheSearch) {
  CADSISearch search;
  const HRESULT started = Start(search, "ou=nowhere,dc=example,dc=com", "(objectClass=*)");
  EXPECT_EQ(started, HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
  // No search is running: reading fails rather than looking empty.
  EXPECT_EQ(search.NextRow(), E_FAIL);
  // The bind itself succeeds: the base is looked up by the search.
  EXPECT_THAT(testing_support::refusedPaths, ::testing::IsEmpty());
}

TEST_F(AdsiSearch, ObjectsReadTheirAttributes) {
  CADSIObject bob;
  ASSERT_EQ(bob.Attach(L"uid=bob,ou=people,dc=example,dc=com", server_.c_str(), 0), S_OK);
  EXPECT_STREQ(static_cast<const wchar_t*>(bob.GetDN()), L"uid=bob,ou=people,dc=example,dc=com");
  _bstr_t text(L"kept");
  const HRESULT read = bob.GetAttributeString(L"manager", text);
  // Wine's directory object reads nothing (E_NOTIMPL) and leaves the target.
  EXPECT_STREQ(static_cast<const wchar_t*>(text),
               read == E_NOTIMPL ? L"kept" : L"uid=alice,ou=people,dc=example,dc=com");
  bob.Detach();
  EXPECT_TRUE(FAILED(bob.GetAttributeString(L"cn", text)));
}

// A binder that fails every bind and keeps the paths it was asked for.
std::vector<std::wstring> boundPaths;
HRESULT WINAPI RefusingGetObject(LPCWSTR path, REFIID, void** object) {
  boundPaths.push_back(path);
  *object = nullptr;
  return boundPaths.size() == 1 ? HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED) : E_ADS_BAD_PATHNAME;
}
HRESULT WINAPI RefusingOpenObject(LPCWSTR path, LPCWSTR, LPCWSTR, DWORD, REFIID riid,
                                  void** object) {
  return RefusingGetObject(path, riid, object);
}

class AdsiFakeBinder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ADsLibrary(), nullptr);
    table_ = *ADsLibrary();
    table_.getObject = RefusingGetObject;
    table_.openObject = RefusingOpenObject;
    SetADsFunctions(&table_);
    boundPaths.clear();
  }
  void TearDown() override { SetADsFunctions(nullptr); }
  ADsApi table_{};
};

TEST_F(AdsiFakeBinder, AServerThatIsDownIsRetriedWithoutIt) {
  CADSISearch search;
  EXPECT_EQ(search.Attach(L"dc=example,dc=com", "127.0.0.1:1", 0), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(boundPaths,
            (Paths{L"LDAP://127.0.0.1:1/dc=example,dc=com", L"LDAP://dc=example,dc=com"}));
  wchar_t* none = nullptr;
  EXPECT_EQ(search.ExecuteSearch(&none, 0), E_FAIL);  // not attached

  boundPaths.clear();
  CADSIObject object;
  EXPECT_EQ(object.Attach(L"dc=example,dc=com", "dc1", 1), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(boundPaths, (Paths{L"GC://dc1/dc=example,dc=com", L"GC://dc=example,dc=com"}));
  EXPECT_FALSE(object.Attached());
}

TEST_F(AdsiFakeBinder, NamingContexts) {
  _bstr_t dn(L"kept");
  EXPECT_EQ(CADSIObject::GetNamingContext(dn, static_cast<NAMING_CONTEXT>(4)), E_INVALIDARG);
  EXPECT_STREQ(static_cast<const wchar_t*>(dn), L"kept");
  EXPECT_THAT(boundPaths, ::testing::IsEmpty());
  EXPECT_EQ(CADSIObject::GetConfigurationDN(dn), HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED));
  EXPECT_EQ(boundPaths, Paths{L"LDAP://rootDSE"});
}

}  // namespace
