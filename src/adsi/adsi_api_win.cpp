#include "adsi/adsi_api_win.h"

#include <new>

namespace {

const ADsApi* substitute = nullptr;

template <typename Fn>
bool Load(HMODULE module, const char* name, Fn* target) {
  *target = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return *target != nullptr;
}

const ADsApi* LoadLibraryTable() {
  static ADsApi table{};
  HMODULE module = ::LoadLibraryA("activeds.dll");
  if (module == nullptr) return nullptr;
  const bool all =
      Load(module, "ADsGetObject", &table.getObject) &&
      Load(module, "ADsOpenObject", &table.openObject) &&
      Load(module, "AllocADsStr", &table.allocStr) && Load(module, "FreeADsStr", &table.freeStr) &&
      Load(module, "AllocADsMem", &table.allocMem) && Load(module, "FreeADsMem", &table.freeMem);
  if (!all) {
    ::FreeLibrary(module);
    return nullptr;
  }
  return &table;
}

}  // namespace

const ADsApi* ADsLibrary() {
  static const ADsApi* const library = LoadLibraryTable();
  return library;
}

const ADsApi* ADsFunctions() { return substitute != nullptr ? substitute : ADsLibrary(); }

const ADsApi* SetADsFunctions(const ADsApi* api) {
  const ADsApi* before = substitute;
  substitute = api;
  return before;
}

// _bstr_t's conversions, which the compiler's support library would hold;
// mingw ships none. Narrow text is the system code page.
namespace _com_util {

BSTR WINAPI ConvertStringToBSTR(const char* text) {
  if (text == nullptr) return nullptr;
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR wide = ::SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (wide == nullptr) return nullptr;
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length);
  return wide;
}

char* WINAPI ConvertBSTRToString(BSTR wide) {
  if (wide == nullptr) return nullptr;
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  char* text = new (std::nothrow) char[bytes];
  if (text == nullptr) return nullptr;
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, bytes, nullptr, nullptr);
  return text;
}

}  // namespace _com_util

namespace adsi {

_bstr_t DirectoryPath(const _bstr_t& dn, const char* server, int useGlobalCatalog) {
  _bstr_t path = useGlobalCatalog ? L"GC://" : L"LDAP://";
  if (server != nullptr && *server != '\0') path += _bstr_t(server) + L"/";
  return path + dn;
}

}  // namespace adsi
