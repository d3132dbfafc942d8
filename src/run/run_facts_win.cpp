#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "run/run_facts.h"
#include "sys/code_page_win.h"
#include "sys/handles_win.h"

namespace {

std::string Narrow(const wchar_t* wide) { return sys::NarrowName(wide, wcslen(wide)); }

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// netapi32.dll is loaded here only: the program imports nothing it would
// not need on every run.
void ReadMembership(RunFacts* facts) {
  sys::Module netapi(::LoadLibraryA("netapi32.dll"));
  using Join = DWORD(WINAPI*)(LPCWSTR, LPWSTR*, DWORD*);
  using Free = DWORD(WINAPI*)(LPVOID);
  const auto join = Lookup<Join>(netapi.get(), "NetGetJoinInformation");
  const auto free = Lookup<Free>(netapi.get(), "NetApiBufferFree");
  if (join == nullptr || free == nullptr) return;
  LPWSTR name = nullptr;
  DWORD status = 0;
  if (join(nullptr, &name, &status) != 0 || name == nullptr) return;
  constexpr DWORD kWorkgroupName = 2, kDomainName = 3;
  if (status == kDomainName || status == kWorkgroupName) {
    facts->membership =
        status == kDomainName ? RunFacts::Membership::Domain : RunFacts::Membership::Workgroup;
    facts->domain = Narrow(name);
  }
  free(name);
}

void ReadWindows(RunFacts* facts) {
  // GetVersionEx answers what the manifest admits to; the kernel's own
  // call tells the truth.
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtlGetVersion = Lookup<GetVersion>(::GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if ((rtlGetVersion != nullptr && rtlGetVersion(&version) == 0) || ::GetVersionExW(&version)) {
    facts->major = version.dwMajorVersion;
    facts->minor = version.dwMinorVersion;
    facts->build = version.dwBuildNumber;
  }
  sys::RegKey key;
  HKEY opened = nullptr;
  // The 64-bit view, which a 32-bit program is otherwise kept from.
  constexpr REGSAM kWow64Key64 = 0x0100;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | kWow64Key64, &opened) == ERROR_SUCCESS) {
    key.Attach(opened);
    wchar_t product[256] = {};
    DWORD type = 0, size = sizeof product - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"ProductName", nullptr, &type,
                           reinterpret_cast<BYTE*>(product), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      facts->windowsProduct = Narrow(product);
    }
  }

  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  // From Windows 10 1709 on it tells an x86 program on ARM64 apart.
  using Wow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto isWow64Process2 = Lookup<Wow64Process2>(kernel, "IsWow64Process2");
  USHORT processMachine = 0, nativeMachine = 0;
  if (isWow64Process2 != nullptr &&
      isWow64Process2(::GetCurrentProcess(), &processMachine, &nativeMachine)) {
    facts->nativeMachine = nativeMachine;
    facts->wow64 = processMachine != 0;
    return;
  }
  using NativeInfo = void(WINAPI*)(SYSTEM_INFO*);
  const auto nativeInfo = Lookup<NativeInfo>(kernel, "GetNativeSystemInfo");
  SYSTEM_INFO info = {};
  (nativeInfo != nullptr ? nativeInfo : &::GetSystemInfo)(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      facts->nativeMachine = 0x014C;
      break;
    case PROCESSOR_ARCHITECTURE_AMD64:
      facts->nativeMachine = 0x8664;
      break;
    case 12:  // PROCESSOR_ARCHITECTURE_ARM64
      facts->nativeMachine = 0xAA64;
      break;
  }
  using Wow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);
  const auto isWow64Process = Lookup<Wow64Process>(kernel, "IsWow64Process");
  BOOL wow64 = FALSE;
  facts->wow64 =
      isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

void ReadUser(RunFacts* facts) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return;
  const sys::KernelHandle token(opened);
  std::vector<char> buffer(256);
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &size)) {
    buffer.resize(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
      buffer.clear();
    }
  }
  if (!buffer.empty()) {
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, user->User.Sid, name, &nameSize, domain, &domainSize, &use)) {
      facts->user = Narrow(domain) + "\\" + Narrow(name);
    }
  }
  // TokenElevation (20) answers from Vista on; before it, an administrator
  // ran with every right, which membership in Administrators tells.
  constexpr auto kTokenElevation = static_cast<TOKEN_INFORMATION_CLASS>(20);
  DWORD elevated = 0;
  if (::GetTokenInformation(token.get(), kTokenElevation, &elevated, sizeof elevated, &size)) {
    facts->elevation =
        elevated != 0 ? RunFacts::Elevation::Elevated : RunFacts::Elevation::NotElevated;
    return;
  }
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators)) {
    return;
  }
  BOOL member = FALSE;
  if (::CheckTokenMembership(nullptr, administrators, &member)) {
    facts->elevation = member ? RunFacts::Elevation::Elevated : RunFacts::Elevation::NotElevated;
  }
  ::FreeSid(administrators);
}

}  // namespace

RunFacts GatherRunFacts() {
  RunFacts facts;
  SYSTEMTIME now = {};
  ::GetSystemTime(&now);
  facts.startedUtc = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};

  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (::GetComputerNameW(computer, &size)) facts.computer = Narrow(computer);
  ReadMembership(&facts);
  ReadWindows(&facts);
  ReadUser(&facts);

  TIME_ZONE_INFORMATION zone = {};
  const DWORD which = ::GetTimeZoneInformation(&zone);
  if (which != TIME_ZONE_ID_INVALID) {
    facts.timeZone = Narrow(zone.StandardName);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    facts.utcOffsetMinutes = -bias;
  }
  facts.codePage = ::GetACP();
  return facts;
}
