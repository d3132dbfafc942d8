#pragma once
// The test LDAP server that tests/harness/slapd starts on 127.0.0.1, and COM
// for the directory tests.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "adsi/adsi_api_win.h"
#include "adsi/adsi_value_win.h"

namespace testing_support {

constexpr const char* kLdapBase = "dc=example,dc=com";

// The real library behind a guard: a path that names no server never
// reaches it (Wine's activeds crashes on one); it fails with
// E_ADS_BAD_PATHNAME and is noted in `refusedPaths`.
inline std::vector<std::wstring> refusedPaths;

// True when `path` names a server ("LDAP://host/..."); notes it otherwise.
inline bool Allowed(LPCWSTR path) {
  const std::wstring text = path != nullptr ? path : L"";
  const size_t start = text.find(L"://");
  const size_t slash = start == std::wstring::npos ? start : text.find(L'/', start + 3);
  if (slash == std::wstring::npos || slash == start + 3 || text.find(L'=', start) < slash) {
    refusedPaths.push_back(text);
    return false;
  }
  return true;
}

inline HRESULT WINAPI GuardedGetObject(LPCWSTR path, REFIID riid, void** object) {
  return Allowed(path) ? ADsLibrary()->getObject(path, riid, object) : E_ADS_BAD_PATHNAME;
}

inline HRESULT WINAPI GuardedOpenObject(LPCWSTR path, LPCWSTR user, LPCWSTR password, DWORD flags,
                                        REFIID riid, void** object) {
  return Allowed(path) ? ADsLibrary()->openObject(path, user, password, flags, riid, object)
                       : E_ADS_BAD_PATHNAME;
}

// The values' text forms, in order.
inline std::vector<std::wstring> Texts(CADSIValues& values) {
  std::vector<std::wstring> texts;
  CADSIValue* value = nullptr;
  for (HRESULT hr = values.GetFirst(value); SUCCEEDED(hr); hr = values.GetNext(value)) {
    _bstr_t text;
    EXPECT_EQ(value->GetValueAsString(text), S_OK);
    texts.push_back(text.length() > 0 ? static_cast<const wchar_t*>(text) : L"");
  }
  return texts;
}

// COM on the test's thread, the guarded library; and the server, which every test of the fixture
// needs: without it the test fails before any bind (a bind without a
// server would take Wine down).
class LdapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    com_ = true;
    ASSERT_NE(ADsLibrary(), nullptr) << "activeds.dll is missing";
    guarded_ = *ADsLibrary();
    guarded_.getObject = GuardedGetObject;
    guarded_.openObject = GuardedOpenObject;
    SetADsFunctions(&guarded_);
    refusedPaths.clear();
    const char* server = std::getenv("BRINDLE_LDAP_SERVER");  // "127.0.0.1:PORT"
    server_ = server != nullptr ? server : "";
    ASSERT_FALSE(server_.empty())
        << "BRINDLE_LDAP_SERVER is not set: run under tests/harness/run-tests, or "
           "eval \"$(tests/harness/slapd start)\" first";
  }
  void TearDown() override {
    SetADsFunctions(nullptr);
    if (com_) ::CoUninitialize();
  }
  std::string server_;
  ADsApi guarded_{};

 private:
  bool com_ = false;
};

}  // namespace testing_support
