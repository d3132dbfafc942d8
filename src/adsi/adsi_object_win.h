#pragma once
// One directory object bound by its distinguished name: read, written,
// created and deleted; and the static finders and naming contexts.

#include "adsi/adsi_value_win.h"

enum NAMING_CONTEXT {
  NAMING_CONTEXT_DEFAULT = 0,
  NAMING_CONTEXT_ROOT_DOMAIN = 1,
  NAMING_CONTEXT_SCHEMA = 2,
  NAMING_CONTEXT_CONFIGURATION = 3,
};

class ADSI_EXPORT CADSIObject {
 public:
  CADSIObject();
  virtual ~CADSIObject();
  CADSIObject(const CADSIObject&) = delete;
  CADSIObject& operator=(const CADSIObject&) = delete;

  // Binds "LDAP://" (or "GC://") + server + "/" + dn, and without the
  // server when that fails.
  virtual HRESULT Attach(_bstr_t dn, const char* server, int useGlobalCatalog);
  void Detach();
  int Attached() const { return m_bsDN.length() > 0; }
  _bstr_t GetDN() const { return m_bsDN; }

  HRESULT FindAndAttach(_bstr_t containerDN, _bstr_t className, _bstr_t commonName);
  HRESULT Create(_bstr_t rdn, _bstr_t containerDN, _bstr_t className, const char* domainController);
  // Deletes the bound object through its parent, on the server it was bound
  // through.
  HRESULT Delete();

  // The first value of one attribute.
  HRESULT GetAttribute(const _bstr_t& name, CADSIValue& value);
  HRESULT GetAttributeString(_bstr_t name, _bstr_t& text);
  HRESULT GetAttributeInteger(_bstr_t name, int& number);
  // A new block (release with delete[]) and its length.
  HRESULT GetAttributeOctetString(_bstr_t name, unsigned char*& bytes, unsigned int& count);
  HRESULT GetAttributeSecurityDescriptor(_bstr_t name, unsigned char*& bytes, unsigned int& count);
  HRESULT SetAttributeString(const _bstr_t& name, const _bstr_t& text, ADSTYPE type);
  HRESULT SetAttributeInteger(_bstr_t name, int number);
  HRESULT SetAttributeBool(_bstr_t name, int flag);

  // Extra attributes a derived class supplies to Create: how many, and the
  // entries (the array has room for that many).
  virtual int GetNoMandatoryAttributes();
  virtual void GetMandatoryAttributes(ADS_ATTR_INFO* attributes);

  // rootDN may start with "server/". An empty attribute asks for the found
  // object's distinguished name.
  static HRESULT FindObjectAttributeValue(const char* rootDN, _bstr_t className,
                                          const char* commonName, _bstr_t attribute,
                                          _bstr_t& value);
  static HRESULT FindObjectWithAttributeValue(const char* rootDN, const char* className,
                                              const char* attribute, const char* value,
                                              _bstr_t& dn);
  static HRESULT GetNamingContext(_bstr_t& dn, NAMING_CONTEXT which);
  static HRESULT GetDomainContainerDN(_bstr_t& dn);
  static HRESULT GetConfigurationDN(_bstr_t& dn);
  static HRESULT GetExtendedRightGuid(const char* rightName, _bstr_t& guid);

 private:
  HRESULT SetAttributeValue(const _bstr_t& name, ADSVALUE& value);

  _bstr_t m_bsDN;
  IDirectoryObject* m_IDO;
  // What the object was bound through, so Delete reaches the same server.
  _bstr_t m_bsServer;
  int m_globalCatalog;
};
