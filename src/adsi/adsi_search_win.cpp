#include "adsi/adsi_search_win.h"

#include <string>

#include "adsi/adsi_status_win.h"

namespace {

constexpr const char* kUnit = "adsisearch";

// The platform's search column, freed on every way out.
class Column {
 public:
  Column(IDirectorySearch* search, ADS_SEARCH_HANDLE handle) : search_(search), handle_(handle) {}
  ~Column() {
    if (held_) search_->FreeColumn(&col);
  }
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;
  HRESULT Get(LPWSTR name) {
    const HRESULT hr = search_->GetColumn(handle_, name, &col);
    held_ = SUCCEEDED(hr);
    return hr;
  }
  ADS_SEARCH_COLUMN col{};

 private:
  IDirectorySearch* search_;
  ADS_SEARCH_HANDLE handle_;
  bool held_ = false;
};

}  // namespace

CADSISearch::CADSISearch()
    : m_hSearch(nullptr), m_IDS(nullptr), m_bsFilter(L""), m_dwCount(0), m_rowStarted(false) {}

CADSISearch::~CADSISearch() { Detach(); }

HRESULT CADSISearch::Attach(_bstr_t dn, const char* server, int useGlobalCatalog) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    Detach();
    adsi::ComRef<IDirectorySearch> search;
    adsi::BindWithRetry(kUnit, "CADSISearch", dn, server, useGlobalCatalog, IID_IDirectorySearch,
                        search.put_void(), nullptr);
    m_IDS = search.Detach();
    ADS_SEARCHPREF_INFO SearchPref[3];
    SearchPref[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    SearchPref[0].vValue.dwType = ADSTYPE_INTEGER;
    SearchPref[0].vValue.Integer = ADS_SCOPE_SUBTREE;
    SearchPref[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    SearchPref[1].vValue.dwType = ADSTYPE_INTEGER;
    SearchPref[1].vValue.Integer = 1000;
    SearchPref[2].dwSearchPref = ADS_SEARCHPREF_SIZE_LIMIT;
    SearchPref[2].vValue.dwType = ADSTYPE_INTEGER;
    SearchPref[2].vValue.Integer = 0;
    const DWORD dwPref = 3;
    ADSI_CHECK(m_IDS->SetSearchPreference(SearchPref, dwPref));
    return S_OK;
  });
}

HRESULT CADSISearch::Detach() {
  EndSearch();
  if (m_IDS != nullptr) m_IDS->Release();
  m_IDS = nullptr;
  return S_OK;
}

void CADSISearch::EndSearch() {
  if (m_hSearch != nullptr && m_IDS != nullptr) m_IDS->CloseSearchHandle(m_hSearch);
  m_hSearch = nullptr;
  m_rowStarted = false;
}

HRESULT CADSISearch::SetPageSize(long pageSize) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_IDS == nullptr) ADSI_RAISE_ERROR(E_FAIL);
    if (pageSize <= 0) ADSI_RAISE(E_INVALIDARG);
    ADS_SEARCHPREF_INFO pref;
    pref.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    pref.vValue.dwType = ADSTYPE_INTEGER;
    pref.vValue.Integer = static_cast<DWORD>(pageSize);
    ADSI_CHECK(m_IDS->SetSearchPreference(&pref, 1));
    return S_OK;
  });
}

HRESULT CADSISearch::SetSearchFilter(const char* filter) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    m_bsFilter = filter != nullptr ? _bstr_t(filter) : _bstr_t(L"");
    return S_OK;
  });
}

HRESULT CADSISearch::GetSearchFilter(_bstr_t& filter) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    filter = m_bsFilter.length() > 0 ? m_bsFilter : _bstr_t(L"");
    return S_OK;
  });
}

HRESULT CADSISearch::AddSearchAttribute(const char* attribute, const char* value) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (attribute == nullptr || value == nullptr) ADSI_RAISE(E_INVALIDARG);
    std::wstring condition = L"(";
    condition += static_cast<const wchar_t*>(_bstr_t(attribute));
    condition += L"=";
    const _bstr_t wide(value);
    condition += adsi::EscapeFilterValue(adsi::Text(wide));
    condition += L")";
    m_bsFilter += condition.c_str();
    return S_OK;
  });
}

HRESULT CADSISearch::ExecuteSearch(wchar_t** attributes, unsigned long count) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_IDS == nullptr) ADSI_RAISE_ERROR(E_FAIL);
    EndSearch();
    m_dwCount = count;
    LPWSTR* pszAttrs = attributes;
    const DWORD dwCount = count;
    ADSI_CHECK(m_IDS->ExecuteSearch(L"(&" + m_bsFilter + L")", pszAttrs, dwCount, &m_hSearch));
    return S_OK;
  });
}

HRESULT CADSISearch::GetFirstObject(CADSIValues& values) { return ReadObject(true, values); }

HRESULT CADSISearch::GetNextObject(CADSIValues& values) { return ReadObject(false, values); }

// S_OK on a row, S_ADS_NOMORE_ROWS after the last; raises a failure.
HRESULT CADSISearch::StepRow() {
  if (m_hSearch == nullptr) ADSI_RAISE_ERROR(E_FAIL);
  const bool first = !m_rowStarted;
  const HRESULT hr = first ? m_IDS->GetFirstRow(m_hSearch) : m_IDS->GetNextRow(m_hSearch);
  if (hr == S_ADS_NOMORE_ROWS) return hr;
  if (FAILED(hr)) {
    adsi::Fail(kUnit, __LINE__,
               first ? "m_IDS->GetFirstRow(m_hSearch)" : "m_IDS->GetNextRow(m_hSearch)", hr);
  }
  m_rowStarted = true;
  return S_OK;
}

HRESULT CADSISearch::ReadObject(bool first, CADSIValues& values) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    // GetFirstObject starts over at the first row.
    if (first) m_rowStarted = false;
    if (StepRow() != S_OK) return E_FAIL;
    values.Delete();
    SearchRowToAttributeList(values);
    return S_OK;
  });
}

void CADSISearch::SearchRowToAttributeList(CADSIValues& values) {
  for (;;) {
    LPWSTR pszAttr = nullptr;
    const HRESULT next = m_IDS->GetNextColumnName(m_hSearch, &pszAttr);
    if (next == S_ADS_NOMORE_COLUMNS || pszAttr == nullptr) {
      if (pszAttr != nullptr) adsi::RequireApi(kUnit).freeMem(pszAttr);
      return;
    }
    // The name belongs to the platform's allocator whatever happens below.
    struct NameOwner {
      LPWSTR name;
      ~NameOwner() {
        if (const ADsApi* api = ADsFunctions()) api->freeMem(name);
      }
    } owner{pszAttr};
    if (FAILED(next))
      adsi::Fail(kUnit, __LINE__, "m_IDS->GetNextColumnName(m_hSearch, &pszAttr)", next);
    Column column(m_IDS, m_hSearch);
    ADSI_CHECK(column.Get(pszAttr));
    if (column.col.dwNumValues != 1) ADSI_RAISE_ERROR(E_FAIL);
    ADSI_CHECK(values.AddTail(&column.col.pADsValues[0]));
  }
}

HRESULT CADSISearch::GetObjects(CADSIValues& values) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    values.Delete();
    CADSIValues row;
    HRESULT hr = GetFirstObject(row);
    while (SUCCEEDED(hr)) {
      values.Concat(row);
      hr = GetNextObject(row);
    }
    return S_OK;
  });
}

HRESULT CADSISearch::NextRow() {
  return adsi::Guarded(kUnit, [&]() -> HRESULT { return StepRow() == S_OK ? S_OK : S_FALSE; });
}

HRESULT CADSISearch::GetColumnValues(const wchar_t* name, CADSIValues& values) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_hSearch == nullptr || !m_rowStarted) ADSI_RAISE_ERROR(E_FAIL);
    if (name == nullptr) ADSI_RAISE(E_INVALIDARG);
    values.Delete();
    Column column(m_IDS, m_hSearch);
    const HRESULT hr = column.Get(const_cast<LPWSTR>(name));
    if (hr == E_ADS_COLUMN_NOT_SET) return S_FALSE;
    if (FAILED(hr)) adsi::Fail(kUnit, __LINE__, "m_IDS->GetColumn(m_hSearch,pszAttr, &col)", hr);
    CADSIValues all;
    for (DWORD i = 0; i < column.col.dwNumValues; ++i) {
      ADSI_CHECK(all.AddTail(&column.col.pADsValues[i]));
    }
    values.Concat(all);
    return S_OK;
  });
}
