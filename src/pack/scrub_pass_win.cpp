#include <windows.h>
// after windows.h
#include <lm.h>

#include <memory>
#include <new>

#include "pack/scrub_pass.h"
#include "run/text.h"
#include "sys/code_page_win.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], length, nullptr, nullptr);
  return text;
}

// Names every installation has; replacing them everywhere hides nothing.
bool BuiltIn(const std::string& name) {
  static const char* const kNames[] = {
      "Administrator", "Guest",        "DefaultAccount", "WDAGUtilityAccount", "Public",
      "Default",       "Default User", "All Users",      "defaultuser0",       "krbtgt"};
  for (const char* known : kNames) {
    if (EqualsNoCase(name, known)) return true;
  }
  return false;
}

class Names {
 public:
  // Its UTF-8 and code-page bytes, as written, in lower and in upper case.
  void Add(NameKind kind, const std::wstring& wide, const std::wstring& sameAs = std::wstring()) {
    if (wide.empty()) return;
    PrivateName name{kind, sys::NarrowName(wide.data(), wide.size()), {}, Narrow(sameAs)};
    std::wstring lower(wide), upper(wide);
    ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    for (const std::wstring& form : {wide, lower, upper}) {
      name.forms.push_back(Utf8(form));
      name.forms.push_back(Narrow(form));
    }
    list.push_back(std::move(name));
  }
  void AddAccount(const std::wstring& wide) {
    if (!BuiltIn(Narrow(wide))) Add(NameKind::User, wide);
  }
  static std::string Narrow(const std::wstring& wide) {
    return sys::NarrowName(wide.data(), wide.size());
  }
  std::vector<PrivateName> list;
};

std::wstring ComputerName(COMPUTER_NAME_FORMAT format) {
  wchar_t buffer[256];
  DWORD size = 256;
  return ::GetComputerNameExW(format, buffer, &size) ? std::wstring(buffer, size) : std::wstring();
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[512];
  const DWORD n = ::GetEnvironmentVariableW(name, buffer, 512);
  return n > 0 && n < 512 ? std::wstring(buffer, n) : std::wstring();
}

// netapi32 at run time, as the other optional libraries are.
using NetWkstaGetInfoFn = NET_API_STATUS(WINAPI*)(LPWSTR, DWORD, LPBYTE*);
using NetUserEnumFn = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, DWORD, LPBYTE*, DWORD, LPDWORD,
                                              LPDWORD, PDWORD);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID);

void AddFromNetApi(Names* names, const std::wstring& dnsDomain) {
  wchar_t system[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  sys::Module netapi(::LoadLibraryW((std::wstring(system, n) + L"\\netapi32.dll").c_str()));
  if (!netapi) return;
  const auto wksta = reinterpret_cast<NetWkstaGetInfoFn>(
      reinterpret_cast<void*>(::GetProcAddress(netapi.get(), "NetWkstaGetInfo")));
  const auto users = reinterpret_cast<NetUserEnumFn>(
      reinterpret_cast<void*>(::GetProcAddress(netapi.get(), "NetUserEnum")));
  const auto release = reinterpret_cast<NetApiBufferFreeFn>(
      reinterpret_cast<void*>(::GetProcAddress(netapi.get(), "NetApiBufferFree")));
  if (release == nullptr) return;
  LPBYTE buffer = nullptr;
  if (wksta != nullptr && wksta(nullptr, 100, &buffer) == NERR_Success && buffer != nullptr) {
    const wchar_t* group = reinterpret_cast<WKSTA_INFO_100*>(buffer)->wki100_langroup;
    if (group != nullptr) names->Add(NameKind::Domain, group, dnsDomain);
    release(buffer);
  }
  DWORD resume = 0;
  for (int rounds = 0; users != nullptr && rounds < 100; ++rounds) {
    DWORD read = 0, total = 0;
    buffer = nullptr;
    const NET_API_STATUS status = users(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buffer,
                                        MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (buffer != nullptr) {
      const auto* info = reinterpret_cast<USER_INFO_0*>(buffer);
      for (DWORD i = 0; i < read; ++i) {
        if (info[i].usri0_name != nullptr) names->AddAccount(info[i].usri0_name);
      }
      release(buffer);
    }
    if (status != ERROR_MORE_DATA) break;
  }
}

void AddProfiles(Names* names) {
  sys::RegKey key;
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0, KEY_READ,
                      &opened) != ERROR_SUCCESS)
    return;
  key.Attach(opened);
  wchar_t value[MAX_PATH];
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"ProfilesDirectory", nullptr, &type,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return;
  value[size / sizeof(wchar_t)] = L'\0';
  wchar_t folder[MAX_PATH];
  const DWORD n = ::ExpandEnvironmentStringsW(value, folder, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return;
  WIN32_FIND_DATAW found;
  sys::UniqueHandle<HANDLE, sys::FindCloseFn, sys::InvalidIsEmpty> find(
      ::FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
      names->AddAccount(name);
  } while (::FindNextFileW(find.get(), &found));
}

}  // namespace

std::vector<PrivateName> MachineNames(int* codePage) {
  *codePage = static_cast<int>(::GetACP());
  Names names;
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  const std::wstring computer =
      ::GetComputerNameW(buffer, &size) ? std::wstring(buffer, size) : std::wstring();
  names.Add(NameKind::Host, computer);
  names.Add(NameKind::Host, ComputerName(ComputerNameDnsHostname), computer);
  const std::wstring dnsDomain = ComputerName(ComputerNameDnsDomain);
  names.Add(NameKind::Domain, dnsDomain);
  AddFromNetApi(&names, dnsDomain);
  // A local account's domain is the computer's own name.
  const std::wstring userDomain = Environment(L"USERDOMAIN");
  if (!EqualsNoCase(Names::Narrow(userDomain), Names::Narrow(computer)))
    names.Add(NameKind::Domain, userDomain, dnsDomain);
  wchar_t user[257];
  DWORD userSize = 257;
  if (::GetUserNameW(user, &userSize) && userSize > 1)
    names.Add(NameKind::User, std::wstring(user, userSize - 1));
  AddProfiles(&names);
  return names.list;
}

bool ReadPieces(const std::string& path, const std::function<bool(const char*, size_t)>& piece) {
  sys::ReleaseAppendHandle(path);
  sys::FileHandle file(::CreateFileW(sys::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return false;
  constexpr DWORD kPiece = 1u << 20;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPiece]);
  if (!buffer) return false;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.get(), kPiece, &got, nullptr)) return false;
    if (got == 0) return true;
    if (!piece(buffer.get(), got)) return false;
  }
}
