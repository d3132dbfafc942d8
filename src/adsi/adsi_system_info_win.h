#pragma once
// The machine's directory environment and name translation.

#include "adsi/adsi_value_win.h"

class ADSI_EXPORT CADSINameTranslate {
 public:
  // Creates the platform's translator for the global catalog; a failure
  // leaves it without one, and Translate then fails.
  CADSINameTranslate();
  virtual ~CADSINameTranslate();
  CADSINameTranslate(const CADSINameTranslate&) = delete;
  CADSINameTranslate& operator=(const CADSINameTranslate&) = delete;

  HRESULT Translate(wchar_t* nameIn, long typeIn, _bstr_t& nameOut, long typeOut);

 private:
  IADsNameTranslate* m_INT;
};

class ADSI_EXPORT CADSISystemInfo {
 public:
  CADSISystemInfo();
  virtual ~CADSISystemInfo();
  CADSISystemInfo(const CADSISystemInfo&) = delete;
  CADSISystemInfo& operator=(const CADSISystemInfo&) = delete;

  // Without the platform's object these fail with
  // HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE) and leave the output unchanged.
  HRESULT GetDomainDNS(_bstr_t& name);
  HRESULT GetDomainShortName(_bstr_t& name);
  HRESULT GetForestDNS(_bstr_t& name);
  HRESULT GetAnyDCName(_bstr_t& name);
  HRESULT GetCurrentUserName(_bstr_t& name);
  HRESULT GetDomainDN(_bstr_t& dn);
  HRESULT GetForestDN(_bstr_t& dn);

  // The distinguished names of the forest's domain trees: a new array
  // (release with delete[]) and how many of its entries are filled. On
  // failure `names` is null and `count` 0.
  HRESULT EnumerateTrees(_bstr_t*& names, unsigned int& count);

 private:
  HRESULT RequireInterface();
  HRESULT DnsNameToDN(bool forest, _bstr_t& dn);
  IADsADSystemInfo* m_ISI;
};
