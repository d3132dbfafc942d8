#pragma once
// The directory client library's functions, loaded at run time so that the
// program starts where activeds.dll is missing. The table is also the seam
// through which a test puts a fake binder in front of the real library.

#include <windows.h>

#include <objbase.h>

#include <iads.h>

#include <adserr.h>
#include <comdef.h>

#define ADSI_EXPORT __declspec(dllexport)

struct ADsApi {
  HRESULT(WINAPI* getObject)(LPCWSTR path, REFIID riid, void** object);
  HRESULT(WINAPI* openObject)
  (LPCWSTR path, LPCWSTR user, LPCWSTR password, DWORD flags, REFIID riid, void** object);
  LPWSTR(WINAPI* allocStr)(LPCWSTR text);
  BOOL(WINAPI* freeStr)(LPWSTR text);
  LPVOID(WINAPI* allocMem)(DWORD bytes);
  BOOL(WINAPI* freeMem)(LPVOID block);
};

// The table in use: a substitute when a test set one, else activeds.dll's
// functions (loaded once, kept for the process's life, because values
// allocated by it may outlive any one object). Null when the library or one
// of its functions is missing.
const ADsApi* ADsFunctions();

// The real library's table, or null, whatever substitute is in place.
const ADsApi* ADsLibrary();

// Puts `api` in place of the library (null restores it); returns the table
// that was in place before.
const ADsApi* SetADsFunctions(const ADsApi* api);

namespace adsi {

// The owner of one COM interface pointer inside an operation.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  // The address for an out-parameter; the old interface is released first.
  T** put() {
    Reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// "LDAP://" or "GC://", then server + "/" when a server is given, then dn.
_bstr_t DirectoryPath(const _bstr_t& dn, const char* server, int useGlobalCatalog);

// The platform's functions, or a raised CO_E_DLLNOTFOUND when the client
// library is missing.
const ADsApi& RequireApi(const char* unit);

}  // namespace adsi
