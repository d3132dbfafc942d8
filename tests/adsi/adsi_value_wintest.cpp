// Directory values: their text forms, who owns their memory, and the list.
#include <gmock/gmock.h>

#include <string>

#include "adsi/adsi_value_win.h"
#include "support/ldap_server_win.h"

namespace {

using testing_support::Texts;

// The real library's allocator, counted, so a test sees what was freed.
struct Counts {
  int strings = 0, stringFrees = 0, blocks = 0, blockFrees = 0;
} counts;

LPWSTR WINAPI CountedAllocStr(LPCWSTR text) {
  ++counts.strings;
  return ADsLibrary()->allocStr(text);
}
BOOL WINAPI CountedFreeStr(LPWSTR text) {
  ++counts.stringFrees;
  return ADsLibrary()->freeStr(text);
}
LPVOID WINAPI CountedAllocMem(DWORD bytes) {
  ++counts.blocks;
  return ADsLibrary()->allocMem(bytes);
}
BOOL WINAPI CountedFreeMem(LPVOID block) {
  ++counts.blockFrees;
  return ADsLibrary()->freeMem(block);
}

class AdsiValue : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ADsLibrary(), nullptr) << "activeds.dll is missing";
    table_ = *ADsLibrary();
    table_.allocStr = CountedAllocStr;
    table_.freeStr = CountedFreeStr;
    table_.allocMem = CountedAllocMem;
    table_.freeMem = CountedFreeMem;
    SetADsFunctions(&table_);
    counts = Counts();
  }
  void TearDown() override { SetADsFunctions(nullptr); }

  static std::wstring Text(CADSIValue& value) {
    _bstr_t text(L"unchanged");
    EXPECT_EQ(value.GetValueAsString(text), S_OK);
    return text.length() > 0 ? static_cast<const wchar_t*>(text) : L"";
  }

  ADsApi table_{};
};

ADSVALUE Number(ADSTYPE type, LONGLONG number) {
  ADSVALUE value{};
  value.dwType = type;
  if (type == ADSTYPE_LARGE_INTEGER) {
    value.LargeInteger.QuadPart = number;
  } else {
    value.Integer = static_cast<DWORD>(number);
  }
  return value;
}
ADSVALUE Octets(unsigned char* bytes, DWORD length) {
  ADSVALUE value{};
  value.dwType = ADSTYPE_OCTET_STRING;
  value.OctetString.dwLength = length;
  value.OctetString.lpValue = bytes;
  return value;
}
ADSVALUE String(ADSTYPE type, const wchar_t* text) {
  ADSVALUE value{};
  value.dwType = type;
  value.CaseIgnoreString = const_cast<LPWSTR>(text);  // one union member for every string
  return value;
}

TEST_F(AdsiValue, TextForms) {
  unsigned char bytes[] = {0x0A, 0xFF, 0x00};
  const struct {
    ADSVALUE value;
    std::wstring text;
  } cases[] = {
      {Number(ADSTYPE_INTEGER, -1), L"-1"},
      {Number(ADSTYPE_LARGE_INTEGER, -(1LL << 62)), L"-4611686018427387904"},
      {Octets(bytes, 3), L" a ff  0"},
      {Octets(bytes, 0), L""},
      {String(ADSTYPE_DN_STRING, L"uid=zo\u00eb,dc=example,dc=com"),
       L"uid=zo\u00eb,dc=example,dc=com"},
  };
  for (const auto& c : cases) {
    ADSVALUE record = c.value;
    CADSIValue value;
    ASSERT_EQ(value.Copy(&record), S_OK);
    EXPECT_EQ(Text(value), c.text);
  }
}

TEST_F(AdsiValue, DateAndTimeAsStoredWithoutSeparator) {
  ADSVALUE record{};
  record.dwType = ADSTYPE_UTC_TIME;
  record.UTCTime = SYSTEMTIME{2021, 3, 4, 4, 5, 6, 7, 0};
  CADSIValue value;
  ASSERT_EQ(value.Attach(&record), S_OK);
  wchar_t date[64], time[64];
  ASSERT_GT(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, 0, &record.UTCTime, nullptr, date, 64), 0);
  ASSERT_GT(GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, &record.UTCTime, nullptr, time, 64), 0);
  const std::wstring text = Text(value);
  EXPECT_EQ(text, std::wstring(date) + time);
  // Universal time as stored: the hour is not moved to local time.
  EXPECT_NE(text.find(L"5:06:07"), std::wstring::npos) << text.c_str();
}

TEST_F(AdsiValue, UnsupportedTypesFailAndLeaveTheTarget) {
  ADSVALUE record{};
  record.dwType = ADSTYPE_DN_WITH_BINARY;
  CADSIValue value;
  ASSERT_EQ(value.Attach(&record), S_OK);
  _bstr_t text(L"kept");
  EXPECT_EQ(value.GetValueAsString(text), E_FAIL);
  EXPECT_STREQ(static_cast<const wchar_t*>(text), L"kept");
  // A postal address is a structure, not a string: never read as one.
  record.dwType = ADSTYPE_POSTALADDRESS;
  CADSIValue postal;
  EXPECT_EQ(postal.Copy(&record), E_FAIL);
  EXPECT_EQ(postal.GetType(), ADSTYPE_INVALID);
  EXPECT_EQ(value.Attach(nullptr), E_INVALIDARG);
}

TEST_F(AdsiValue, NumbersFromText) {
  CADSIValue value;
  ASSERT_EQ(value.SetType(ADSTYPE_LARGE_INTEGER), S_OK);
  ASSERT_EQ(value.SetValueAsString(const_cast<wchar_t*>(L"1099511627777")), S_OK);
  EXPECT_EQ(Text(value), L"1099511627777");
  long low = 0;
  EXPECT_EQ(value.GetValueAsInteger(low), S_OK);
  EXPECT_EQ(low, 1);  // the low 32 bits
  ASSERT_EQ(value.SetType(ADSTYPE_INTEGER), S_OK);
  ASSERT_EQ(value.SetValueAsString(const_cast<wchar_t*>(L"4294967295")), S_OK);
  EXPECT_EQ(Text(value), L"-1");
  ASSERT_EQ(value.SetType(ADSTYPE_UTC_TIME), S_OK);
  EXPECT_EQ(value.SetValueAsString(const_cast<wchar_t*>(L"1")), E_FAIL);
}

TEST_F(AdsiValue, OwnedValuesAreFreedAttachedOnesAreNot) {
  unsigned char bytes[] = {1, 2, 3};
  ADSVALUE octets = Octets(bytes, 3), text = String(ADSTYPE_CASE_IGNORE_STRING, L"borrowed");
  {
    CADSIValue attached;
    ASSERT_EQ(attached.Attach(&text), S_OK);
    EXPECT_EQ(attached.SetValueAsString(const_cast<wchar_t*>(L"x")), E_FAIL);
    EXPECT_EQ(attached.Delete(), S_OK);
    EXPECT_EQ(attached.GetType(), ADSTYPE_INVALID);
    ASSERT_EQ(attached.Attach(&octets), S_OK);
  }
  EXPECT_EQ(counts.stringFrees + counts.blockFrees, 0);
  {
    CADSIValue owned;
    ASSERT_EQ(owned.Copy(&text), S_OK);
    ASSERT_EQ(owned.Copy(&octets), S_OK);  // frees the string first
    EXPECT_EQ(counts.stringFrees, 1);
    bytes[0] = 9;  // a deep copy does not see the change
    unsigned char* out = nullptr;
    unsigned int count = 0;
    ASSERT_EQ(owned.GetValueAsBinary(out, count), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(out[0], 1);
    delete[] out;
  }
  EXPECT_EQ(counts.strings, 1);
  EXPECT_EQ(counts.blocks, 1);
  EXPECT_EQ(counts.blockFrees, 1);
}

// Appending, reading by cursor and index, and moving one list's nodes onto
// another, which then owns them.
TEST_F(AdsiValue, ListsAppendReadAndMove) {
  CADSIValues list, source;
  CADSIValue* value = nullptr;
  unsigned long count = 9;
  ADSVALUE one = Number(ADSTYPE_INTEGER, 1), two = Number(ADSTYPE_INTEGER, 2),
           unsupported = Number(ADSTYPE_EMAIL, 0);
  ASSERT_EQ(list.AddTail(&one), S_OK);
  CADSIValue copy;  // a value of its own goes in as a copy
  ASSERT_EQ(copy.Copy(&two), S_OK);
  ASSERT_EQ(list.AddTail(copy), S_OK);
  EXPECT_EQ(list.AddTail(&unsupported), E_FAIL);
  EXPECT_EQ(Texts(list), (std::vector<std::wstring>{L"1", L"2"}));
  EXPECT_EQ(list.GetNext(value), E_FAIL);  // past the last
  ASSERT_EQ(list.GetAt(1, value), S_OK);
  EXPECT_EQ(Text(*value), L"2");
  EXPECT_EQ(list.GetAt(2, value), E_FAIL);

  ADSVALUE text = String(ADSTYPE_CASE_IGNORE_STRING, L"c");
  ASSERT_EQ(source.AddTail(&text), S_OK);
  ASSERT_EQ(list.GetFirst(value), S_OK);
  ASSERT_EQ(list.Concat(source), S_OK);
  EXPECT_EQ(list.GetNext(value), E_FAIL);  // the cursor was cleared
  EXPECT_EQ(source.GetCount(count), S_OK);
  EXPECT_EQ(count, 0u);
  source.Delete();
  EXPECT_EQ(counts.stringFrees, 0);  // the moved node lives on in the list
  EXPECT_EQ(Texts(list), (std::vector<std::wstring>{L"1", L"2", L"c"}));
  EXPECT_EQ(list.Delete(), S_OK);
  EXPECT_EQ(counts.stringFrees, 1);
  EXPECT_EQ(list.GetFirst(value), E_FAIL);
}

}  // namespace
