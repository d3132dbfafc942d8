#pragma once
// How every operation of the directory classes fails: the failing step is
// traced with its source text and status, the status is raised, and the
// operation catches whatever was raised and returns a status.

#include <exception>
#include <new>
#include <string>

#include "adsi/adsi_api_win.h"
#include "trace/trace_log.h"

// A structured (hardware) exception with its code. mingw's g++ has no way to
// turn one into a C++ exception (no _set_se_translator, no __try), so only
// code that raises it itself reaches the catch below; a real access
// violation inside the platform still ends the process.
class ADSI_EXPORT CStructuredException {
 public:
  CStructuredException(unsigned int code, void* address) : code_(code), address_(address) {}
  unsigned int GetCode() const { return code_; }
  void* GetAddress() const { return address_; }
  const char* GetName() const;

 private:
  unsigned int code_;
  void* address_;
};

namespace adsi {

// A status raised by a failed step; the operation's catch turns it back
// into its result.
struct RaisedStatus {
  HRESULT status;
};

// Traces "%s returned %#x" for `text` and raises `status`.
[[noreturn]] void Fail(const char* unit, int line, const char* text, HRESULT status);
// Traces "Error %#x" and raises `status`.
[[noreturn]] void FailStatus(const char* unit, int line, HRESULT status);

void TraceStd(const char* unit, const std::exception& error);
void TraceStructured(const char* unit, const CStructuredException& error);
void TraceCom(const char* unit, const _com_error& error);
void TraceUnknown(const char* unit);

// Runs `body` (which returns the operation's status) and catches what it
// raises. A caught exception never becomes a success: it gives its own
// code, or E_FAIL.
template <typename Body>
HRESULT Guarded(const char* unit, Body&& body) {
  try {
    return body();
  } catch (const RaisedStatus& raised) {
    return raised.status;
  } catch (const std::bad_alloc& error) {
    TraceStd(unit, error);
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    TraceStd(unit, error);
    return E_FAIL;
  } catch (const CStructuredException& error) {
    TraceStructured(unit, error);
    return FAILED(static_cast<HRESULT>(error.GetCode())) ? static_cast<HRESULT>(error.GetCode())
                                                         : E_FAIL;
  } catch (const _com_error& error) {
    TraceCom(unit, error);
    return FAILED(error.Error()) ? error.Error() : E_FAIL;
  } catch (...) {
    TraceUnknown(unit);
    return E_FAIL;
  }
}

// The text of a _bstr_t, "" for an empty one (whose pointer is null).
inline const wchar_t* Text(const _bstr_t& text) {
  return text.length() > 0 ? static_cast<const wchar_t*>(text) : L"";
}

// A value as an LDAP filter holds it: "(", ")" and "\\" escaped, so that
// a value can neither end its condition nor start an escape of its own.
std::wstring EscapeFilterValue(const wchar_t* value);

// Binds `dn` as `riid`: with the server first when one is given, then,
// after a failure, without it (the platform then finds a server itself).
// Traces each path and each failure as `unit`; raises the last failure.
// `boundServer` (may be null) gets the server that answered, or "".
void BindWithRetry(const char* unit, const char* what, const _bstr_t& dn, const char* server,
                   int useGlobalCatalog, REFIID riid, void** object, _bstr_t* boundServer);

}  // namespace adsi

// Tests a step's status; on failure traces the step's text and raises it.
#define ADSI_CHECK(expr)                                                        \
  do {                                                                          \
    const HRESULT adsi_status_ = (expr);                                        \
    if (FAILED(adsi_status_)) adsi::Fail(kUnit, __LINE__, #expr, adsi_status_); \
  } while (0)

// Raises `status` with the text of its own name, as for a bare E_FAIL.
#define ADSI_RAISE(status) adsi::Fail(kUnit, __LINE__, #status, status)
#define ADSI_RAISE_ERROR(status) adsi::FailStatus(kUnit, __LINE__, status)
