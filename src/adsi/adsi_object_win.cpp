#include "adsi/adsi_object_win.h"

#include <string>
#include <vector>

#include "adsi/adsi_status_win.h"

namespace {

constexpr const char* kUnit = "ADSIObject";

using adsi::Text;

std::wstring Escaped(const _bstr_t& value) { return adsi::EscapeFilterValue(Text(value)); }

// The result of GetObjectAttributes, freed with the platform's allocator.
struct AttrInfo {
  ADS_ATTR_INFO* info = nullptr;
  ~AttrInfo() {
    if (info != nullptr) {
      if (const ADsApi* api = ADsFunctions()) api->freeMem(info);
    }
  }
};

// Runs a one-column search below rootDN and gives the first row's value.
HRESULT SearchFirstValue(const char* rootDN, const std::wstring& filter, const _bstr_t& attribute,
                         _bstr_t& value) {
  const ADsApi& api = adsi::RequireApi(kUnit);
  adsi::ComRef<IDirectorySearch> search;
  const _bstr_t path = adsi::DirectoryPath(_bstr_t(rootDN != nullptr ? rootDN : ""), nullptr, 0);
  ADSI_CHECK(api.getObject(path, IID_IDirectorySearch, search.put_void()));
  if (search.get() == nullptr) ADSI_RAISE(E_POINTER);
  LPWSTR names[1] = {const_cast<LPWSTR>(Text(attribute))};
  ADS_SEARCH_HANDLE handle = nullptr;
  ADSI_CHECK(search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), names, 1, &handle));
  struct Closer {
    IDirectorySearch* search;
    ADS_SEARCH_HANDLE handle;
    ~Closer() { search->CloseSearchHandle(handle); }
  } closer{search.get(), handle};
  const HRESULT row = search->GetFirstRow(handle);
  if (row == S_ADS_NOMORE_ROWS) ADSI_RAISE_ERROR(E_FAIL);
  ADSI_CHECK(row);
  ADS_SEARCH_COLUMN col;
  ADSI_CHECK(search->GetColumn(handle, names[0], &col));
  CADSIValue first;
  const HRESULT copied =
      col.dwNumValues > 0 ? first.Attach(&col.pADsValues[0]) : static_cast<HRESULT>(E_FAIL);
  _bstr_t text;
  const HRESULT converted = SUCCEEDED(copied) ? first.GetValueAsString(text) : copied;
  first.Delete();
  search->FreeColumn(&col);
  if (FAILED(converted)) adsi::Fail(kUnit, __LINE__, "val.GetValueAsString(bsValue)", converted);
  value = text;
  return S_OK;
}

}  // namespace

CADSIObject::CADSIObject() : m_IDO(nullptr), m_globalCatalog(0) {}

CADSIObject::~CADSIObject() { Detach(); }

HRESULT CADSIObject::Attach(_bstr_t dn, const char* server, int useGlobalCatalog) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    Detach();
    adsi::ComRef<IDirectoryObject> object;
    _bstr_t boundServer;
    adsi::BindWithRetry(kUnit, "CADSIObject", dn, server, useGlobalCatalog, IID_IDirectoryObject,
                        object.put_void(), &boundServer);
    m_IDO = object.Detach();
    m_bsDN = dn;
    m_bsServer = boundServer;
    m_globalCatalog = useGlobalCatalog;
    return S_OK;
  });
}

void CADSIObject::Detach() {
  if (m_IDO != nullptr) m_IDO->Release();
  m_IDO = nullptr;
  m_bsDN = L"";
  m_bsServer = L"";
  m_globalCatalog = 0;
}

HRESULT CADSIObject::FindAndAttach(_bstr_t containerDN, _bstr_t className, _bstr_t commonName) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    _bstr_t dn;
    const _bstr_t container = containerDN.length() > 0 ? containerDN : _bstr_t(L"");
    const _bstr_t cn = commonName.length() > 0 ? commonName : _bstr_t(L"");
    ADSI_CHECK(FindObjectAttributeValue(container, className, cn, _bstr_t(L""), dn));
    // A container named as "server/dn" was searched on that server: bind the
    // found object there too.
    const std::wstring path = Text(container);
    const size_t slash = path.find(L'/');
    const _bstr_t server = slash != std::wstring::npos ? path.substr(0, slash).c_str() : L"";
    ADSI_CHECK(Attach(dn, server.length() > 0 ? static_cast<const char*>(server) : nullptr, 0));
    return S_OK;
  });
}

HRESULT CADSIObject::Create(_bstr_t rdn, _bstr_t containerDN, _bstr_t className,
                            const char* domainController) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    adsi::ComRef<IDirectoryObject> idoContainer;
    adsi::BindWithRetry(kUnit, "CADSIObject::Create", containerDN, domainController, 0,
                        IID_IDirectoryObject, idoContainer.put_void(), nullptr);

    const int extra = GetNoMandatoryAttributes();
    std::vector<ADS_ATTR_INFO> attributes(static_cast<size_t>(1 + (extra > 0 ? extra : 0)));
    ADSVALUE classValue{};
    classValue.dwType = ADSTYPE_CASE_IGNORE_STRING;
    classValue.CaseIgnoreString = const_cast<LPWSTR>(Text(className));
    attributes[0].pszAttrName = const_cast<LPWSTR>(L"objectClass");
    attributes[0].dwControlCode = ADS_ATTR_UPDATE;
    attributes[0].dwADsType = ADSTYPE_CASE_IGNORE_STRING;
    attributes[0].pADsValues = &classValue;
    attributes[0].dwNumValues = 1;
    if (extra > 0) GetMandatoryAttributes(&attributes[1]);
    TraceLog::Instance().Trace(kUnit, __LINE__, "<CADSIObject::Create> bsRDN = %ls", Text(rdn));
    adsi::ComRef<IDispatch> created;
    ADSI_CHECK(idoContainer->CreateDSObject(const_cast<LPWSTR>(Text(rdn)), attributes.data(),
                                            static_cast<DWORD>(attributes.size()), created.put()));
    ADSI_CHECK(Attach(rdn + L"," + containerDN, domainController, 0));
    return S_OK;
  });
}

HRESULT CADSIObject::Delete() {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (!Attached()) ADSI_RAISE_ERROR(E_FAIL);
    const std::wstring dn = Text(m_bsDN);
    // The first comma that is not escaped ends the relative name.
    size_t comma = std::wstring::npos;
    for (size_t i = 0; i < dn.size(); ++i) {
      if (dn[i] == L'\\') {
        ++i;
      } else if (dn[i] == L',') {
        comma = i;
        break;
      }
    }
    if (comma == std::wstring::npos) ADSI_RAISE(E_INVALIDARG);
    const std::wstring relativeText = dn.substr(0, comma);
    const std::wstring parentText = dn.substr(comma + 1);
    const _bstr_t relative(relativeText.c_str());
    const _bstr_t parent(parentText.c_str());
    const ADsApi& api = adsi::RequireApi(kUnit);
    adsi::ComRef<IDirectoryObject> container;
    const _bstr_t server = m_bsServer;
    const char* serverText = server.length() > 0 ? static_cast<const char*>(server) : nullptr;
    const _bstr_t path = adsi::DirectoryPath(parent, serverText, 0);
    ADSI_CHECK(api.getObject(path, IID_IDirectoryObject, container.put_void()));
    if (container.get() == nullptr) ADSI_RAISE(E_POINTER);
    ADSI_CHECK(container->DeleteDSObject(const_cast<LPWSTR>(Text(relative))));
    Detach();
    return S_OK;
  });
}

HRESULT CADSIObject::GetAttribute(const _bstr_t& name, CADSIValue& value) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (m_IDO == nullptr) ADSI_RAISE(E_POINTER);
    LPWSTR names[1] = {const_cast<LPWSTR>(Text(name))};
    AttrInfo result;
    DWORD returned = 0;
    ADSI_CHECK(m_IDO->GetObjectAttributes(names, 1, &result.info, &returned));
    if (returned == 0 || result.info == nullptr || result.info->dwNumValues == 0) {
      ADSI_RAISE_ERROR(E_FAIL);
    }
    ADSI_CHECK(value.Copy(&result.info->pADsValues[0]));
    return S_OK;
  });
}

HRESULT CADSIObject::GetAttributeString(_bstr_t name, _bstr_t& text) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    CADSIValue att;
    const _bstr_t bsName = name;
    _bstr_t bsValue;
    ADSI_CHECK(GetAttribute(bsName, att));
    ADSI_CHECK(att.GetValueAsString(bsValue));
    text = bsValue;
    return S_OK;
  });
}

HRESULT CADSIObject::GetAttributeInteger(_bstr_t name, int& number) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    CADSIValue att;
    const _bstr_t bsName = name;
    long lTemp = 0;
    ADSI_CHECK(GetAttribute(bsName, att));
    ADSI_CHECK(att.GetValueAsInteger(lTemp));
    number = static_cast<int>(lTemp);
    return S_OK;
  });
}

HRESULT CADSIObject::GetAttributeOctetString(_bstr_t name, unsigned char*& bytes,
                                             unsigned int& count) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    CADSIValue att;
    const _bstr_t bsName = name;
    unsigned char* pBuffer = nullptr;
    unsigned int nBytes = 0;
    ADSI_CHECK(GetAttribute(bsName, att));
    ADSI_CHECK(att.GetValueAsBinary(pBuffer, nBytes));
    bytes = pBuffer;
    count = nBytes;
    return S_OK;
  });
}

HRESULT CADSIObject::GetAttributeSecurityDescriptor(_bstr_t name, unsigned char*& bytes,
                                                    unsigned int& count) {
  return GetAttributeOctetString(name, bytes, count);
}

HRESULT CADSIObject::SetAttributeValue(const _bstr_t& name, ADSVALUE& value) {
  ADS_ATTR_INFO attrInfo;
  attrInfo.pszAttrName = const_cast<LPWSTR>(Text(name));
  attrInfo.dwControlCode = ADS_ATTR_UPDATE;
  attrInfo.dwADsType = value.dwType;
  attrInfo.pADsValues = &value;
  attrInfo.dwNumValues = 1;
  DWORD dwModified = 0;
  ADSI_CHECK(m_IDO->SetObjectAttributes(&attrInfo, 1, &dwModified));
  return S_OK;
}

HRESULT CADSIObject::SetAttributeString(const _bstr_t& name, const _bstr_t& text, ADSTYPE type) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (!Attached() || m_IDO == nullptr) ADSI_RAISE(E_FAIL);
    CADSIValue attTemp;
    ADSI_CHECK(attTemp.SetType(type));
    const _bstr_t bsValue = text;
    ADSI_CHECK(attTemp.SetValueAsString(const_cast<wchar_t*>(Text(bsValue))));
    TraceLog::Instance().Trace(kUnit, __LINE__,
                               "<CADSIObject::SetAttributeString> Setting%ls to%ls", Text(name),
                               Text(text));
    return SetAttributeValue(name, *attTemp.GetValue());
  });
}

HRESULT CADSIObject::SetAttributeInteger(_bstr_t name, int number) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (!Attached() || m_IDO == nullptr) ADSI_RAISE(E_FAIL);
    ADSVALUE value{};
    value.dwType = ADSTYPE_INTEGER;
    value.Integer = static_cast<DWORD>(number);
    return SetAttributeValue(name, value);
  });
}

HRESULT CADSIObject::SetAttributeBool(_bstr_t name, int flag) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (!Attached() || m_IDO == nullptr) ADSI_RAISE(E_FAIL);
    ADSVALUE value{};
    value.dwType = ADSTYPE_BOOLEAN;
    value.Boolean = static_cast<DWORD>(flag);
    return SetAttributeValue(name, value);
  });
}

int CADSIObject::GetNoMandatoryAttributes() { return 0; }

void CADSIObject::GetMandatoryAttributes(ADS_ATTR_INFO*) {}

HRESULT CADSIObject::FindObjectAttributeValue(const char* rootDN, _bstr_t className,
                                              const char* commonName, _bstr_t attribute,
                                              _bstr_t& value) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    TraceLog::Instance().Trace(kUnit, __LINE__,
                               "<CADSIObject::FindObjectAttributeValue> search root =%s",
                               rootDN != nullptr ? rootDN : "");
    std::wstring filter = L"(&(objectCategory=" + Escaped(className) + L")";
    if (commonName != nullptr && *commonName != '\0') {
      filter += L"(cn=" + Escaped(_bstr_t(commonName)) + L"))";
    } else {
      filter += L")";
    }
    TraceLog::Instance().Trace(kUnit, __LINE__,
                               "<CADSIObject::FindObjectAttributeValue> filter string= %ls",
                               filter.c_str());
    const _bstr_t wanted = attribute.length() > 0 ? attribute : _bstr_t(L"distinguishedName");
    return SearchFirstValue(rootDN, filter, wanted, value);
  });
}

HRESULT CADSIObject::FindObjectWithAttributeValue(const char* rootDN, const char* className,
                                                  const char* attribute, const char* value,
                                                  _bstr_t& dn) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (className == nullptr || attribute == nullptr || value == nullptr) {
      ADSI_RAISE(E_INVALIDARG);
    }
    const std::wstring filter = L"(&(objectCategory=" + Escaped(_bstr_t(className)) + L")(" +
                                Text(_bstr_t(attribute)) + L"=" + Escaped(_bstr_t(value)) + L"))";
    TraceLog::Instance().Trace(kUnit, __LINE__,
                               "<CADSIObject::FindObjectWithAttributeValue> bsFilter=%ls",
                               filter.c_str());
    return SearchFirstValue(rootDN, filter, _bstr_t(L"distinguishedName"), dn);
  });
}

HRESULT CADSIObject::GetNamingContext(_bstr_t& dn, NAMING_CONTEXT which) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    static const wchar_t* const kProperties[] = {L"defaultNamingContext",
                                                 L"rootDomainNamingContext", L"schemaNamingContext",
                                                 L"configurationNamingContext"};
    // Checked before any bind: nothing is asked of the directory for a
    // context that does not exist.
    if (static_cast<int>(which) < 0 || static_cast<int>(which) > 3) ADSI_RAISE(E_INVALIDARG);
    const ADsApi& api = adsi::RequireApi(kUnit);
    adsi::ComRef<IADs> root;
    ADSI_CHECK(api.openObject(L"LDAP://rootDSE", nullptr, nullptr, ADS_SECURE_AUTHENTICATION,
                              IID_IADs, root.put_void()));
    if (root.get() == nullptr) ADSI_RAISE(E_POINTER);
    _variant_t property;
    ADSI_CHECK(root->Get(_bstr_t(kProperties[which]), &property));
    dn = _bstr_t(property);
    return S_OK;
  });
}

HRESULT CADSIObject::GetDomainContainerDN(_bstr_t& dn) {
  return GetNamingContext(dn, NAMING_CONTEXT_DEFAULT);
}

HRESULT CADSIObject::GetConfigurationDN(_bstr_t& dn) {
  return GetNamingContext(dn, NAMING_CONTEXT_CONFIGURATION);
}

HRESULT CADSIObject::GetExtendedRightGuid(const char* rightName, _bstr_t& guid) {
  return adsi::Guarded(kUnit, [&]() -> HRESULT {
    if (rightName == nullptr) ADSI_RAISE(E_INVALIDARG);
    _bstr_t configuration;
    ADSI_CHECK(GetConfigurationDN(configuration));
    CADSIObject right;
    ADSI_CHECK(
        right.Attach(_bstr_t(rightName) + L",CN=Extended-Rights," + configuration, nullptr, 0));
    _bstr_t value;
    ADSI_CHECK(right.GetAttributeString(L"rightsGUID", value));
    guid = value;
    return S_OK;
  });
}
