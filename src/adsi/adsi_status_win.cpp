#include "adsi/adsi_status_win.h"

const char* CStructuredException::GetName() const {
  switch (code_) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "EXCEPTION_ACCESS_VIOLATION";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case EXCEPTION_IN_PAGE_ERROR:
      return "EXCEPTION_IN_PAGE_ERROR";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case EXCEPTION_PRIV_INSTRUCTION:
      return "EXCEPTION_PRIV_INSTRUCTION";
    case EXCEPTION_STACK_OVERFLOW:
      return "EXCEPTION_STACK_OVERFLOW";
    default:
      return "Unknown structured exception";
  }
}

namespace adsi {

void Fail(const char* unit, int line, const char* text, HRESULT status) {
  TraceLog::Instance().Trace(unit, line, "%s returned %#x", text, static_cast<unsigned>(status));
  throw RaisedStatus{status};
}

void FailStatus(const char* unit, int line, HRESULT status) {
  TraceLog::Instance().Trace(unit, line, "Error %#x", static_cast<unsigned>(status));
  throw RaisedStatus{status};
}

void TraceStd(const char* unit, const std::exception& error) {
  TraceLog::Instance().Trace(unit, 0, "STD Exception %s", error.what());
}

void TraceStructured(const char* unit, const CStructuredException& error) {
  TraceLog::Instance().Trace(unit, 0, "SEH Exception %s at %x", error.GetName(),
                             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(error.GetAddress())));
}

void TraceCom(const char* unit, const _com_error& error) {
  TraceLog::Instance().Trace(unit, 0, "Exception: %s", error.ErrorMessage());
}

void TraceUnknown(const char* unit) { TraceLog::Instance().Trace(unit, 0, "Unknown exception"); }

}  // namespace adsi

namespace adsi {

std::wstring EscapeFilterValue(const wchar_t* value) {
  std::wstring out;
  for (const wchar_t* p = value != nullptr ? value : L""; *p != L'\0'; ++p) {
    switch (*p) {
      case L'(':
        out += L"\\28";
        break;
      case L')':
        out += L"\\29";
        break;
      case L'\\':
        out += L"\\5c";
        break;
      default:
        out += *p;
    }
  }
  return out;
}

void BindWithRetry(const char* unit, const char* what, const _bstr_t& dn, const char* server,
                   int useGlobalCatalog, REFIID riid, void** object, _bstr_t* boundServer) {
  const ADsApi& api = RequireApi(unit);
  if (boundServer != nullptr) *boundServer = L"";
  if (server != nullptr && *server != '\0') {
    const _bstr_t dnFull = DirectoryPath(dn, server, useGlobalCatalog);
    TraceLog::Instance().Trace(unit, __LINE__, "<%s::Attach> dnFull= %ls", what, Text(dnFull));
    const HRESULT hr = api.getObject(dnFull, riid, object);
    if (SUCCEEDED(hr) && *object != nullptr) {
      if (boundServer != nullptr) *boundServer = server;
      return;
    }
    TraceLog::Instance().Trace(unit, __LINE__, "%s returned %#x",
                               "ADsGetObject(dnFull, riid, (void**)&pObject)",
                               static_cast<unsigned>(hr));
  }
  const _bstr_t dnFull = DirectoryPath(dn, nullptr, useGlobalCatalog);
  TraceLog::Instance().Trace(unit, __LINE__, "<%s::Attach> dnFull= %ls", what, Text(dnFull));
  const HRESULT hr = api.getObject(dnFull, riid, object);
  if (FAILED(hr)) Fail(unit, __LINE__, "ADsGetObject(dnFull, riid, (void**)&pObject)", hr);
  if (*object == nullptr)
    Fail(unit, __LINE__, "ADsGetObject(dnFull, riid, (void**)&pObject)", E_POINTER);
}

const ADsApi& RequireApi(const char* unit) {
  const ADsApi* api = ADsFunctions();
  if (api == nullptr) Fail(unit, __LINE__, "LoadLibrary(\"activeds.dll\")", CO_E_DLLNOTFOUND);
  return *api;
}

}  // namespace adsi
