#include "adsi/adsi_system_info_win.h"

#include <memory>

#include "adsi/adsi_status_win.h"

namespace {
constexpr const char* kTranslateUnit = "ADSINameTranslate";
constexpr const char* kInfoUnit = "ADSISysInfo";

using adsi::Text;

// A BSTR handed out by the platform, freed on every way out.
struct OwnedBstr {
  BSTR value = nullptr;
  ~OwnedBstr() { ::SysFreeString(value); }
};
}  // namespace

CADSINameTranslate::CADSINameTranslate() : m_INT(nullptr) {
  constexpr const char* kUnit = kTranslateUnit;
  adsi::Guarded(kUnit, [&]() -> HRESULT {
    adsi::ComRef<IADsNameTranslate> translate;
    ADSI_CHECK(::CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IADsNameTranslate, translate.put_void()));
    if (translate.get() == nullptr) ADSI_RAISE(E_POINTER);
    ADSI_CHECK(translate->Init(ADS_NAME_INITTYPE_GC, _bstr_t(L"")));
    m_INT = translate.Detach();
    return S_OK;
  });
}

CADSINameTranslate::~CADSINameTranslate() {
  if (m_INT != nullptr) m_INT->Release();
}

HRESULT CADSINameTranslate::Translate(wchar_t* nameIn, long typeIn, _bstr_t& nameOut,
                                      long typeOut) {
  constexpr const char* kUnit = kTranslateUnit;
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_INT == nullptr) ADSI_RAISE(E_FAIL);
    const long nTypeIn = typeIn;
    const long nTypeOut = typeOut;
    const _bstr_t bsNameIn(nameIn != nullptr ? nameIn : L"");
    ADSI_CHECK(m_INT->Set(nTypeIn, bsNameIn));
    OwnedBstr bstrOut;
    ADSI_CHECK(m_INT->Get(nTypeOut, &bstrOut.value));
    nameOut = _bstr_t(bstrOut.value);
    return S_OK;
  });
}

CADSISystemInfo::CADSISystemInfo() : m_ISI(nullptr) {
  constexpr const char* kUnit = kInfoUnit;
  adsi::Guarded(kUnit, [&]() -> HRESULT {
    ADSI_CHECK(::CoCreateInstance(CLSID_ADSystemInfo, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IADsADSystemInfo, reinterpret_cast<void**>(&m_ISI)));
    return S_OK;
  });
}

CADSISystemInfo::~CADSISystemInfo() {
  if (m_ISI != nullptr) m_ISI->Release();
}

// A failure status, unlike the bare ERROR_INVALID_HANDLE (6), which every
// caller testing FAILED() would take for a success.
HRESULT CADSISystemInfo::RequireInterface() {
  constexpr const char* kUnit = kInfoUnit;
  if (m_ISI == nullptr) ADSI_RAISE(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE));
  return S_OK;
}

#define ADSI_SYSINFO_GETTER(Method, call, variable) \
  HRESULT CADSISystemInfo::Method(_bstr_t& name) {  \
    constexpr const char* kUnit = kInfoUnit;        \
    return adsi::Guarded(kUnit, [&]() -> HRESULT {  \
      RequireInterface();                           \
      OwnedBstr variable;                           \
      ADSI_CHECK(call);                             \
      name = _bstr_t(variable.value);               \
      return S_OK;                                  \
    });                                             \
  }

ADSI_SYSINFO_GETTER(GetDomainDNS, m_ISI->get_DomainDNSName(&bstrDNS.value), bstrDNS)
ADSI_SYSINFO_GETTER(GetDomainShortName, m_ISI->get_DomainShortName(&bstrDNS.value), bstrDNS)
ADSI_SYSINFO_GETTER(GetForestDNS, m_ISI->get_ForestDNSName(&bstrDNS.value), bstrDNS)
ADSI_SYSINFO_GETTER(GetAnyDCName, m_ISI->GetAnyDCName(&bstrDC.value), bstrDC)
ADSI_SYSINFO_GETTER(GetCurrentUserName, m_ISI->get_UserName(&bstrUser.value), bstrUser)

#undef ADSI_SYSINFO_GETTER

// A domain's or forest's DNS name ("name/" in canonical form) as a DN.
HRESULT CADSISystemInfo::DnsNameToDN(bool forest, _bstr_t& dn) {
  constexpr const char* kUnit = kInfoUnit;
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    _bstr_t bsDNS;
    const HRESULT got = forest ? GetForestDNS(bsDNS) : GetDomainDNS(bsDNS);
    if (FAILED(got))
      adsi::Fail(kUnit, __LINE__, forest ? "GetForestDNS(bsDNS)" : "GetDomainDNS(bsDNS)", got);
    CADSINameTranslate translate;
    _bstr_t bsDN;
    _bstr_t canonical = bsDNS + L"/";
    ADSI_CHECK(translate.Translate(canonical, ADS_NAME_TYPE_CANONICAL, bsDN, ADS_NAME_TYPE_1779));
    TraceLog::Instance().Trace(kUnit, __LINE__,
                               "<CADSISystemInfo::%s> Translated DNS name %ls to DN %ls",
                               forest ? "GetForestDN" : "GetDomainDN", Text(bsDNS), Text(bsDN));
    dn = bsDN;
    return S_OK;
  });
}

HRESULT CADSISystemInfo::GetDomainDN(_bstr_t& dn) { return DnsNameToDN(false, dn); }

HRESULT CADSISystemInfo::GetForestDN(_bstr_t& dn) { return DnsNameToDN(true, dn); }

HRESULT CADSISystemInfo::EnumerateTrees(_bstr_t*& names, unsigned int& count) {
  constexpr const char* kUnit = kInfoUnit;
  names = nullptr;
  count = 0;
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    RequireInterface();
    _variant_t vtTrees;
    ADSI_CHECK(m_ISI->GetTrees(&vtTrees));
    if ((vtTrees.vt & VT_ARRAY) == 0 || vtTrees.parray == nullptr ||
        ::SafeArrayGetDim(vtTrees.parray) != 1) {
      ADSI_RAISE_ERROR(E_UNEXPECTED);
    }
    SAFEARRAY* sa = vtTrees.parray;
    LONG lStart = 0;
    LONG lEnd = -1;
    // Without both bounds there is no range to read.
    ADSI_CHECK(::SafeArrayGetLBound(sa, 1, &lStart));
    ADSI_CHECK(::SafeArrayGetUBound(sa, 1, &lEnd));
    const LONG size = lEnd >= lStart ? lEnd - lStart + 1 : 0;
    std::unique_ptr<_bstr_t[]> trees(new (std::nothrow) _bstr_t[size > 0 ? size : 1]);
    if (!trees) ADSI_RAISE(E_OUTOFMEMORY);
    unsigned int filled = 0;
    CADSINameTranslate translate;
    const VARTYPE element = static_cast<VARTYPE>(vtTrees.vt & VT_TYPEMASK);
    for (LONG lIndex = lStart; lIndex <= lEnd; ++lIndex) {
      _bstr_t bsDNS;
      if (element == VT_VARIANT) {
        _variant_t varItem;
        const HRESULT hr = ::SafeArrayGetElement(sa, &lIndex, &varItem);
        if (FAILED(hr) || varItem.vt != VT_BSTR) {
          TraceLog::Instance().Trace(kUnit, __LINE__, "%s returned %#x",
                                     "SafeArrayGetElement( sa, &lIndex, &varItem)",
                                     static_cast<unsigned>(FAILED(hr) ? hr : DISP_E_TYPEMISMATCH));
          continue;
        }
        bsDNS = varItem.bstrVal;
      } else if (element == VT_BSTR) {
        OwnedBstr item;
        const HRESULT hr = ::SafeArrayGetElement(sa, &lIndex, &item.value);
        if (FAILED(hr)) {
          TraceLog::Instance().Trace(kUnit, __LINE__, "%s returned %#x",
                                     "SafeArrayGetElement( sa, &lIndex, &varItem)",
                                     static_cast<unsigned>(hr));
          continue;
        }
        bsDNS = item.value;
      } else {
        ADSI_RAISE_ERROR(DISP_E_TYPEMISMATCH);
      }
      bsDNS += L"/";
      _bstr_t bsDN;
      const HRESULT hr =
          translate.Translate(bsDNS, ADS_NAME_TYPE_CANONICAL, bsDN, ADS_NAME_TYPE_1779);
      if (FAILED(hr)) {
        TraceLog::Instance().Trace(
            kUnit, __LINE__, "%s returned %#x",
            "translate.Translate(bsDNS, ADS_NAME_TYPE_CANONICAL,bsDN,ADS_NAME_TYPE_1779)",
            static_cast<unsigned>(hr));
        continue;
      }
      trees[filled++] = bsDN;
    }
    names = trees.release();
    count = filled;
    return S_OK;
  });
}
