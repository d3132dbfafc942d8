#include "adsi/adsi_value_win.h"

#include <cstring>
#include <string>

#include "adsi/adsi_status_win.h"

namespace {

constexpr const char* kUnit = "ADSIValue";

// Types whose data is one wide string.
bool IsStringType(ADSTYPE type) {
  switch (type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
    case ADSTYPE_OBJECT_CLASS:
      return true;
    default:
      return false;
  }
}

bool IsBytesType(ADSTYPE type) {
  return type == ADSTYPE_OCTET_STRING || type == ADSTYPE_PROV_SPECIFIC ||
         type == ADSTYPE_NT_SECURITY_DESCRIPTOR;
}

// Platform structures this library neither copies nor frees. The postal
// address, back link, typed name, net address and fax number are among them:
// their union member is a structure (or a pointer to one), not a string.
const char* StructureName(ADSTYPE type) {
  switch (type) {
    case ADSTYPE_CASEIGNORE_LIST:
      return "ADSTYPE_CASEIGNORE_LIST";
    case ADSTYPE_OCTET_LIST:
      return "ADSTYPE_OCTET_LIST";
    case ADSTYPE_PATH:
      return "ADSTYPE_PATH";
    case ADSTYPE_HOLD:
      return "ADSTYPE_HOLD";
    case ADSTYPE_REPLICAPOINTER:
      return "ADSTYPE_REPLICAPOINTER";
    case ADSTYPE_EMAIL:
      return "ADSTYPE_EMAIL";
    case ADSTYPE_DN_WITH_BINARY:
      return "ADSTYPE_DN_WITH_BINARY";
    case ADSTYPE_DN_WITH_STRING:
      return "ADSTYPE_DN_WITH_STRING";
    case ADSTYPE_POSTALADDRESS:
      return "ADSTYPE_POSTALADDRESS";
    case ADSTYPE_BACKLINK:
      return "ADSTYPE_BACKLINK";
    case ADSTYPE_TYPEDNAME:
      return "ADSTYPE_TYPEDNAME";
    case ADSTYPE_NETADDRESS:
      return "ADSTYPE_NETADDRESS";
    case ADSTYPE_FAXNUMBER:
      return "ADSTYPE_FAXNUMBER";
    default:
      return nullptr;
  }
}

const ADsApi& Api() { return adsi::RequireApi(kUnit); }

}  // namespace

CADSIValue::CADSIValue() : m_attached(false) { std::memset(&m_val, 0, sizeof m_val); }

CADSIValue::~CADSIValue() { Delete(); }

HRESULT CADSIValue::Unsupported(const char* operation) const {
  TraceLog::Instance().Trace(kUnit, __LINE__, "<CADSIValue::%s> Unsupported ADS type %d", operation,
                             static_cast<int>(m_val.dwType));
  return E_FAIL;
}

HRESULT CADSIValue::Delete() {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    HRESULT hr = S_OK;
    if (!m_attached) {
      const ADSTYPE type = m_val.dwType;
      if (IsStringType(type)) {
        if (m_val.DNString != nullptr) Api().freeStr(m_val.DNString);
      } else if (IsBytesType(type)) {
        if (m_val.OctetString.lpValue != nullptr) Api().freeMem(m_val.OctetString.lpValue);
      } else if (const char* name = StructureName(type)) {
        TraceLog::Instance().Trace(kUnit, __LINE__, "Memory leak: %s not cleaned up", name);
      } else if (type != ADSTYPE_INVALID && type != ADSTYPE_BOOLEAN && type != ADSTYPE_INTEGER &&
                 type != ADSTYPE_LARGE_INTEGER && type != ADSTYPE_UTC_TIME &&
                 type != ADSTYPE_TIMESTAMP && type != ADSTYPE_UNKNOWN) {
        hr = Unsupported("Delete");
      }
    }
    std::memset(&m_val, 0, sizeof m_val);
    m_attached = false;
    return hr;
  });
}

HRESULT CADSIValue::Attach(ADSVALUE* value) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (value == nullptr) ADSI_RAISE(E_INVALIDARG);
    Delete();
    m_val = *value;
    m_attached = true;
    return S_OK;
  });
}

HRESULT CADSIValue::Copy(ADSVALUE* value) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (value == nullptr) ADSI_RAISE(E_INVALIDARG);
    Delete();
    const ADSTYPE type = value->dwType;
    if (IsStringType(type)) {
      ADSVALUE copy = *value;
      if (value->DNString != nullptr) {
        copy.DNString = Api().allocStr(value->DNString);
        if (copy.DNString == nullptr) ADSI_RAISE(HRESULT_FROM_WIN32(GetLastError()));
      }
      m_val = copy;
    } else if (IsBytesType(type)) {
      ADSVALUE copy = *value;
      copy.OctetString.lpValue = nullptr;
      const DWORD length = value->OctetString.dwLength;
      if (length > 0) {
        if (value->OctetString.lpValue == nullptr) ADSI_RAISE(E_POINTER);
        copy.OctetString.lpValue = static_cast<LPBYTE>(Api().allocMem(length));
        if (copy.OctetString.lpValue == nullptr) ADSI_RAISE(HRESULT_FROM_WIN32(GetLastError()));
        std::memcpy(copy.OctetString.lpValue, value->OctetString.lpValue, length);
      }
      m_val = copy;
    } else if (type == ADSTYPE_BOOLEAN || type == ADSTYPE_INTEGER ||
               type == ADSTYPE_LARGE_INTEGER || type == ADSTYPE_UTC_TIME) {
      m_val = *value;
    } else {
      m_val.dwType = type;  // for the trace, then empty again
      const HRESULT hr = Unsupported("Copy");
      std::memset(&m_val, 0, sizeof m_val);
      return hr;
    }
    return S_OK;
  });
}

HRESULT CADSIValue::GetValueAsString(_bstr_t& text) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    _bstr_t result;
    switch (m_val.dwType) {
      case ADSTYPE_DN_STRING:
      case ADSTYPE_CASE_EXACT_STRING:
      case ADSTYPE_CASE_IGNORE_STRING:
      case ADSTYPE_PRINTABLE_STRING:
      case ADSTYPE_NUMERIC_STRING:
      case ADSTYPE_OBJECT_CLASS:
        result = m_val.DNString != nullptr ? m_val.DNString : L"";
        break;
      case ADSTYPE_BOOLEAN:
        ADSI_CHECK(NumberToString(result, static_cast<LONGLONG>(m_val.Boolean)));
        break;
      case ADSTYPE_INTEGER:
        ADSI_CHECK(NumberToString(result, static_cast<LONG>(m_val.Integer)));
        break;
      case ADSTYPE_LARGE_INTEGER:
        ADSI_CHECK(NumberToString(result, m_val.LargeInteger.QuadPart));
        break;
      case ADSTYPE_UTC_TIME:
        ADSI_CHECK(DateTimeToString(result, &m_val.UTCTime));
        break;
      case ADSTYPE_OCTET_STRING:
      case ADSTYPE_PROV_SPECIFIC:
      case ADSTYPE_NT_SECURITY_DESCRIPTOR:
        ADSI_CHECK(BinaryToString(result, m_val.OctetString.lpValue, m_val.OctetString.dwLength));
        break;
      default:
        return Unsupported("GetValueAsString");
    }
    text = result;
    return S_OK;
  });
}

HRESULT CADSIValue::GetValueAsBinary(unsigned char*& bytes, unsigned int& count) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (!IsBytesType(m_val.dwType)) return Unsupported("GetValueAsBinary");
    const DWORD length = m_val.OctetString.dwLength;
    if (length > 0 && m_val.OctetString.lpValue == nullptr) ADSI_RAISE(E_POINTER);
    unsigned char* block = new (std::nothrow) unsigned char[length > 0 ? length : 1];
    if (block == nullptr) ADSI_RAISE(E_OUTOFMEMORY);
    if (length > 0) std::memcpy(block, m_val.OctetString.lpValue, length);
    bytes = block;
    count = length;
    return S_OK;
  });
}

HRESULT CADSIValue::GetValueAsInteger(long& number) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    switch (m_val.dwType) {
      case ADSTYPE_BOOLEAN:
        number = static_cast<long>(m_val.Boolean);
        return S_OK;
      case ADSTYPE_INTEGER:
        number = static_cast<long>(m_val.Integer);
        return S_OK;
      case ADSTYPE_LARGE_INTEGER:
        number = static_cast<long>(m_val.LargeInteger.LowPart);
        return S_OK;
      default:
        return Unsupported("GetValueAsInteger");
    }
  });
}

HRESULT CADSIValue::SetType(ADSTYPE type) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_attached) ADSI_RAISE_ERROR(E_FAIL);
    m_val.dwType = type;
    return S_OK;
  });
}

HRESULT CADSIValue::SetValueAsString(wchar_t* text) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_attached) ADSI_RAISE_ERROR(E_FAIL);
    const ADSTYPE type = m_val.dwType;
    if (IsStringType(type)) {
      LPWSTR copy = Api().allocStr(text != nullptr ? text : L"");
      if (copy == nullptr) ADSI_RAISE(HRESULT_FROM_WIN32(GetLastError()));
      Delete();
      m_val.dwType = type;
      m_val.DNString = copy;
      return S_OK;
    }
    const LONGLONG number = StringToNumber(text != nullptr ? text : L"");
    switch (type) {
      case ADSTYPE_BOOLEAN:
        m_val.Boolean = static_cast<DWORD>(number);
        return S_OK;
      case ADSTYPE_INTEGER:
        m_val.Integer = static_cast<DWORD>(number);
        return S_OK;
      case ADSTYPE_LARGE_INTEGER:
        m_val.LargeInteger.QuadPart = number;
        return S_OK;
      default:
        return Unsupported("SetValueAsString");
    }
  });
}

HRESULT CADSIValue::NumberToString(_bstr_t& text, LONGLONG number) {
  // By hand: msvcrt's printf family does not know every length modifier.
  wchar_t digits[24];
  wchar_t* end = digits + sizeof digits / sizeof digits[0];
  wchar_t* p = end;
  *--p = L'\0';
  unsigned long long magnitude = number < 0 ? 0ULL - static_cast<unsigned long long>(number)
                                            : static_cast<unsigned long long>(number);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) *--p = L'-';
  text = p;
  return S_OK;
}

HRESULT CADSIValue::BinaryToString(_bstr_t& text, const unsigned char* bytes, DWORD count) {
  if (count == 0) {
    text = L"";
    return S_OK;
  }
  std::wstring out;
  out.reserve(static_cast<size_t>(count) * 3);
  static const wchar_t kHex[] = L"0123456789abcdef";
  for (DWORD i = 0; i < count; ++i) {
    if (i > 0) out += L' ';
    out += bytes[i] < 16 ? L' ' : kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  text = out.c_str();
  return S_OK;
}

HRESULT CADSIValue::DateTimeToString(_bstr_t& text, const SYSTEMTIME* time) {
  std::wstring out;
  for (int part = 0; part < 2; ++part) {
    const int length = part == 0
                           ? ::GetDateFormatW(LOCALE_SYSTEM_DEFAULT, 0, time, nullptr, nullptr, 0)
                           : ::GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, time, nullptr, nullptr, 0);
    if (length <= 0) {
      TraceLog::Instance().Trace(kUnit, __LINE__, "%s returned %#x",
                                 "HRESULT_FROM_WIN32(GetLastError())",
                                 static_cast<unsigned>(HRESULT_FROM_WIN32(GetLastError())));
      continue;
    }
    std::wstring buffer(static_cast<size_t>(length), L'\0');
    const int written =
        part == 0 ? ::GetDateFormatW(LOCALE_SYSTEM_DEFAULT, 0, time, nullptr, &buffer[0], length)
                  : ::GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, time, nullptr, &buffer[0], length);
    if (written <= 0) {
      TraceLog::Instance().Trace(kUnit, __LINE__, "%s returned %#x",
                                 "HRESULT_FROM_WIN32(GetLastError())",
                                 static_cast<unsigned>(HRESULT_FROM_WIN32(GetLastError())));
      continue;
    }
    out.append(buffer.c_str());
  }
  text = out.c_str();
  return S_OK;
}

LONGLONG CADSIValue::StringToNumber(const wchar_t* text) { return _wtoi64(text); }

// The list.

struct CADSIValues::Node {
  CADSIValue value;
  Node* next = nullptr;
};

namespace {
constexpr const char* kListUnit = "ADSIValues";
}

CADSIValues::CADSIValues() : m_head(nullptr), m_tail(nullptr), m_cursor(nullptr) {}

CADSIValues::~CADSIValues() { Delete(); }

HRESULT CADSIValues::AddTail(CADSIValue& value) { return AddTail(value.GetValue()); }

HRESULT CADSIValues::AddTail(ADSVALUE* value) {
  constexpr const char* kUnit = kListUnit;
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    Node* pTemp = new (std::nothrow) Node;
    if (pTemp == nullptr) ADSI_RAISE(E_OUTOFMEMORY);
    const HRESULT hr = pTemp->value.Copy(value);
    if (FAILED(hr)) {
      delete pTemp;
      adsi::Fail(kUnit, __LINE__, "pTemp->adsiVal.Copy(pVal)", hr);
    }
    if (m_tail != nullptr) {
      m_tail->next = pTemp;
    } else {
      m_head = pTemp;
    }
    m_tail = pTemp;
    return S_OK;
  });
}

HRESULT CADSIValues::Delete() {
  while (m_head != nullptr) {
    Node* next = m_head->next;
    delete m_head;
    m_head = next;
  }
  m_tail = nullptr;
  m_cursor = nullptr;
  return S_OK;
}

HRESULT CADSIValues::GetFirst(CADSIValue*& value) {
  if (m_head == nullptr) return E_FAIL;
  value = &m_head->value;
  m_cursor = m_head->next;
  return S_OK;
}

HRESULT CADSIValues::GetNext(CADSIValue*& value) {
  if (m_cursor == nullptr) return E_FAIL;
  value = &m_cursor->value;
  m_cursor = m_cursor->next;
  return S_OK;
}

HRESULT CADSIValues::GetAt(unsigned int index, CADSIValue*& value) {
  Node* node = m_head;
  for (unsigned int i = 0; node != nullptr && i < index; ++i) node = node->next;
  if (node == nullptr) return E_FAIL;
  value = &node->value;
  return S_OK;
}

HRESULT CADSIValues::GetCount(unsigned long& count) {
  count = 0;
  for (Node* node = m_head; node != nullptr; node = node->next) ++count;
  return S_OK;
}

HRESULT CADSIValues::Concat(CADSIValues& other) {
  if (&other == this) return E_INVALIDARG;
  if (other.m_head != nullptr) {
    if (m_tail != nullptr) {
      m_tail->next = other.m_head;
    } else {
      m_head = other.m_head;
    }
    m_tail = other.m_tail;
  }
  other.m_head = other.m_tail = other.m_cursor = nullptr;
  m_cursor = nullptr;
  return S_OK;
}
