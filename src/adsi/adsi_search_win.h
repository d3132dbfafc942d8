#pragma once
// A paged subtree search below one distinguished name, read row by row.

#include "adsi/adsi_value_win.h"

class ADSI_EXPORT CADSISearch {
 public:
  CADSISearch();
  virtual ~CADSISearch();
  CADSISearch(const CADSISearch&) = delete;
  CADSISearch& operator=(const CADSISearch&) = delete;

  // Binds "LDAP://" (or "GC://") + server + "/" + dn, and without the
  // server when that fails; then sets subtree scope, page size 1000 and no
  // size limit.
  HRESULT Attach(_bstr_t dn, const char* server, int useGlobalCatalog);
  HRESULT Detach();
  void EndSearch();

  // Another page size for the searches that follow (Attach sets 1000).
  HRESULT SetPageSize(long pageSize);

  // The filter's conditions, without the outer "(&" and ")".
  HRESULT SetSearchFilter(const char* filter);
  HRESULT GetSearchFilter(_bstr_t& filter);
  // Appends "(" + attribute + "=" + value + ")", the value escaped.
  HRESULT AddSearchAttribute(const char* attribute, const char* value);

  HRESULT ExecuteSearch(wchar_t** attributes, unsigned long count);

  // The first (next) row's columns, one value each; a column with more or
  // fewer values fails the row. E_FAIL at the end, the values kept.
  HRESULT GetFirstObject(CADSIValues& values);
  HRESULT GetNextObject(CADSIValues& values);
  // Every row's values, one after another.
  HRESULT GetObjects(CADSIValues& values);

  // The row reader for columns of any number of values. NextRow steps to
  // the first row, then to each next one: S_OK on a row, S_FALSE after the
  // last. GetColumnValues replaces `values` with every value of the current
  // row's column `name`; a column the row lacks gives S_FALSE and no values.
  HRESULT NextRow();
  HRESULT GetColumnValues(const wchar_t* name, CADSIValues& values);

 private:
  HRESULT StepRow();
  HRESULT ReadObject(bool first, CADSIValues& values);
  void SearchRowToAttributeList(CADSIValues& values);

  ADS_SEARCH_HANDLE m_hSearch;
  IDirectorySearch* m_IDS;
  _bstr_t m_bsFilter;
  unsigned long m_dwCount;
  bool m_rowStarted;
};
