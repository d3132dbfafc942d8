#pragma once
// Every text the user sees, looked up in the localisation file beside the
// executable (its path with ".LOC" in place of the extension). Sections are
// named by locale: the system locale's own, then its language-wide one
// ("00" + language), then the language's default ("04" + language); then
// the built-in English default. Nothing is cached: each call reads the file.

#include <cstdint>
#include <functional>
#include <string>

// The Windows edge (GetSystemDefaultLCID, GetPrivateProfileStringA). The
// POSIX stand-in always gives the default. Callable from any thread.
std::string LocalText(const std::string& group, const std::string& name,
                      const std::string& defaultText);

// Value of `key` in `section`; "" when the file, section or key is missing.
using ProfileReader =
    std::function<std::string(const std::string& section, const std::string& key)>;

// The lookup itself, over an injected reader: the three sections of `lcid`,
// an empty value counting as missing, then `defaultText`; values cut at 1023
// characters; "\n" and "\t" written as backslash pairs become line break
// and tab.
std::string LookUpLocalText(uint32_t lcid, const std::string& group, const std::string& name,
                            const std::string& defaultText, const ProfileReader& read);

// The sections tried for a locale: 0x0807 gives "0807", "0007", "0407".
void LocalTextSections(uint32_t lcid, std::string sections[3]);

// The module path with everything from its last "." replaced by ".LOC";
// "" when the path holds no ".".
std::string LocalisationFilePath(const std::string& modulePath);

// Backslash-n pairs to line breaks, then backslash-t pairs to tabs.
std::string ExpandTextEscapes(const std::string& value);
