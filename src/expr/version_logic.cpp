#include "expr/version_logic.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "run/text.h"

namespace {

const uint32_t kPlatformNt = 2;
const uint32_t kRegSz = 1;
const uint32_t kRegDword = 4;
const int32_t kErrorFileNotFound = 2;
const size_t kMaxExpression = 63;

// "%f" as sscanf reads it; 0 when no number can be read.
float ReadFloat(const std::string& text) {
  float value = 0;
  if (std::sscanf(text.c_str(), "%f", &value) != 1) return 0;
  return value;
}

// "%u" as sscanf reads it: optional sign, decimal digits, wrapping modulo
// 2^32; 0 when no digit follows.
uint32_t ReadUnsigned(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

// The six comparison operators; -1 when the word is none of them.
template <typename T>
int Compare(const std::string& op, T left, T right) {
  if (op == "IS") return left == right;
  if (op == "ISNOT") return left != right;
  if (op == "ISHIGHERTHAN") return left > right;
  if (op == "ISLOWERTHAN") return left < right;
  if (op == "ISHIGHEROREQUALTO") return left >= right;
  if (op == "ISLOWEROREQUALTO") return left <= right;
  return -1;
}

std::vector<std::string> SplitWords(const std::string& text, size_t maxWords) {
  std::vector<std::string> words;
  size_t i = 0;
  while (words.size() < maxWords) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool OneOf(const std::string& word, std::initializer_list<const char*> words) {
  for (const char* candidate : words) {
    if (word == candidate) return true;
  }
  return false;
}

const std::initializer_list<const char*> kOperandNames = {"RegKey", "RegValueName", "RegValue",
                                                          "File", "Folder"};

}  // namespace

bool IsConditionOperand(const std::string& name) {
  for (const char* operand : kOperandNames) {
    if (EqualsNoCase(name, operand)) return true;
  }
  return false;
}

std::string ConditionProblem(const std::string& expression) {
  if (expression.size() > kMaxExpression) {
    return "condition is longer than " + std::to_string(kMaxExpression) +
           " characters and always fails";
  }
  std::string spaced = expression;
  for (size_t i = 1; i < spaced.size(); ++i) {
    if (spaced[i] == '_') spaced[i] = ' ';
  }
  const std::vector<std::string> words = SplitWords(spaced, 5);
  if (words.size() < 3) return "condition needs a test and an operator after PROCESSIF";
  if (words[0] != "PROCESSIF") return "unknown condition word '" + words[0] + "'";
  const std::string& test = words[1];
  const std::string& op = words[2];
  const std::string value = words.size() > 3 ? words[3] : std::string();
  const bool textTest = OneOf(test, {"KERNEL", "OSNAME", "OSTYPE"});
  const bool numberTest = OneOf(test, {"VERSION", "BUILD", "SPACK"});
  const bool presenceTest = OneOf(test, {"REG", "FILE", "FOLDER"});
  if (!textTest && !numberTest && !presenceTest) {
    return "unknown condition word '" + test + "'";
  }
  const bool equality = OneOf(op, {"IS", "ISNOT"});
  const bool ordering =
      OneOf(op, {"ISHIGHERTHAN", "ISLOWERTHAN", "ISHIGHEROREQUALTO", "ISLOWEROREQUALTO"});
  if (!equality && !ordering) return "unknown condition word '" + op + "'";
  if (ordering && !numberTest) {
    return "operator '" + op + "' does not apply to " + test + ", which knows IS and ISNOT";
  }
  if (presenceTest) {
    return words.size() > 3 ? "condition word '" + value + "' after " + op + " is not used"
                            : std::string();
  }
  if (value.empty()) return "condition has no value to compare " + test + " with";
  if (words.size() > 4) return "condition word '" + words[4] + "' after the value is ignored";
  if (test == "KERNEL" && !OneOf(value, {"WINNT", "WIN9X"})) {
    return "unknown condition word '" + value + "' for KERNEL";
  }
  if (test == "OSNAME" && !OneOf(value, {"WINNT", "WINNT351", "WINNT4", "WIN2K", "WINXP", "WIN9X",
                                         "WIN95", "WIN98", "WINME"})) {
    return "unknown condition word '" + value + "' for OSNAME";
  }
  if (test == "OSTYPE" && !OneOf(value, {"WORKSTATION", "SERVER", "ADVANCEDSERVER"})) {
    return "unknown condition word '" + value + "' for OSTYPE";
  }
  if (numberTest) {
    const bool isFloat = test == "VERSION";
    size_t digits = 0, dots = 0;
    for (char c : value) {
      digits += c >= '0' && c <= '9';
      dots += c == '.';
    }
    if (digits == 0 || digits + dots != value.size() || dots > (isFloat ? 1u : 0u)) {
      return "condition value '" + value + "' is not a " + (isFloat ? "version" : "number");
    }
  }
  return std::string();
}

VersionLogic::VersionLogic(ActivityLog* log, const VersionSystem& system)
    : log_(log), system_(system) {
  OsVersionInfo info;
  if (!system_.ReadVersion(&info)) {
    Log(SeverityDebug, "Unable to obtain OS version, all version logic will fail.");
    return;
  }
  const char last = info.servicePackText.empty() ? '\0' : info.servicePackText.back();
  if (last < '0') {
    servicePack_ = 0;
  } else if (last <= '9') {
    servicePack_ = static_cast<uint32_t>(last - '0');
  } else {
    servicePack_ = 1;
  }
  build_ = info.build;
  // Read back from its text, so 4.10 is 4.1, and thresholds compare exactly.
  version_ = ReadFloat(Format("%u.%u", info.major, info.minor));
  osType_ = "WORKSTATION";
  if (info.platformId == kPlatformNt) {
    kernel_ = "WINNT";
    osName_ = "WINNT";
    if (version_ >= 3.51f) osName_ = "WINNT351";
    if (version_ >= 4.0f) osName_ = "WINNT4";
    if (version_ >= 5.0f) osName_ = "WIN2K";
    if (version_ >= 5.01f) osName_ = "WINXP";
    std::string productType;
    if (system_.ReadProductType(&productType)) {
      if (EqualsNoCase(productType, "SERVERNT")) osType_ = "SERVER";
      if (EqualsNoCase(productType, "LANMANNT")) osType_ = "ADVANCEDSERVER";
    }
  } else {
    kernel_ = "WIN9X";
    osName_ = "WIN9X";
    if (version_ >= 4.0f) osName_ = "WIN95";
    if (version_ >= 4.1f) osName_ = "WIN98";
    if (version_ >= 4.9f) osName_ = "WINME";
    build_ &= 0xFFFFu;
  }
  initialised_ = true;
}

void VersionLogic::Log(int32_t severity, const std::string& message) {
  if (log_ != nullptr) log_->Write(severity, message);
}

void VersionLogic::ClearOperands() {
  regKey_.clear();
  regValueName_.clear();
  regValue_.clear();
  file_.clear();
  folder_.clear();
}

bool VersionLogic::AddOperand(const std::string& name, const std::string& value) {
  std::string* target = nullptr;
  if (EqualsNoCase(name, "RegKey")) {
    target = &regKey_;
  } else if (EqualsNoCase(name, "RegValueName")) {
    target = &regValueName_;
  } else if (EqualsNoCase(name, "RegValue")) {
    target = &regValue_;
  } else if (EqualsNoCase(name, "File")) {
    target = &file_;
  } else if (EqualsNoCase(name, "Folder")) {
    target = &folder_;
  } else {
    Log(SeverityError, Format("The attribute %s is not supported", name.c_str()));
    return false;
  }
  *target = value;
  if ((target == &file_ || target == &folder_) && resolver_ != nullptr) {
    resolver_->Resolve(target);
  }
  return true;
}

bool VersionLogic::RegistryTest() {
  if (regKey_.empty()) return true;
  const size_t slash = regKey_.find('\\');
  const RegistryRoot root = ParseRegistryRoot(regKey_.substr(0, slash));
  if (root == RegistryRootNone) {
    Log(SeverityError, Format("Failed to get the Root registry key in the %s", regKey_.c_str()));
    return false;
  }
  const std::string subkey = slash == std::string::npos ? std::string() : regKey_.substr(slash + 1);
  const RegistryProbe probe = system_.ProbeRegistry(root, subkey, regValueName_);
  if (probe.openError == kErrorFileNotFound) {
    Log(SeverityError, Format("The %s registry key not found", regKey_.c_str()));
    return false;
  }
  if (probe.openError != 0) {
    Log(SeverityError,
        Format("RegOpenkey Failed with the errror 0x%08x", static_cast<unsigned>(probe.openError)));
    return false;
  }
  if (regValueName_.empty()) return true;
  if (probe.queryError == kErrorFileNotFound) {
    Log(SeverityError, Format("The %s RegValue is not present.", regValueName_.c_str()));
    return false;
  }
  if (probe.queryError != 0) {
    Log(SeverityError, Format("RegQueryValueEx Failed with the errror 0x%08x",
                              static_cast<unsigned>(probe.queryError)));
    return false;
  }
  if (regValue_.empty()) return true;
  if (probe.type != kRegDword && probe.type != kRegSz) {
    Log(SeverityError, Format("The Registry value type 0x%08x is not supported.",
                              static_cast<unsigned>(probe.type)));
    return false;
  }
  if (probe.readError != 0) {
    Log(SeverityError, Format("RegQueryValueEx Failed with the errror 0x%08x",
                              static_cast<unsigned>(probe.readError)));
    return false;
  }
  if (probe.type == kRegDword) {
    uint32_t stored = 0;
    if (probe.data.size() < sizeof stored) return false;
    for (size_t i = 0; i < sizeof stored; ++i) {
      stored |= static_cast<uint32_t>(static_cast<unsigned char>(probe.data[i])) << (8 * i);
    }
    return stored == ReadUnsigned(regValue_);
  }
  // A stored string may or may not end in its zero; the case counts.
  std::string stored = probe.data;
  const size_t zero = stored.find('\0');
  if (zero != std::string::npos) stored.resize(zero);
  return stored == regValue_;
}

bool VersionLogic::Evaluate(const std::string& expression) {
  const char* text = expression.c_str();
  if (!initialised_) {
    Log(SeverityError, Format("Version logic %s failed - failed to initialise.", text));
    return false;
  }
  if (expression.size() > kMaxExpression) {
    Log(SeverityError, Format("Version logic %s failed - expression too long.", text));
    return false;
  }
  std::string spaced = expression;
  for (size_t i = 1; i < spaced.size(); ++i) {
    if (spaced[i] == '_') spaced[i] = ' ';
  }
  const std::vector<std::string> words = SplitWords(spaced, 4);
  if (words.size() < 3) {
    Log(SeverityError, Format("Version logic %s failed - unable to parse expression.", text));
    return false;
  }
  if (!EqualsNoCase(words[0], "PROCESSIF")) {
    Log(SeverityError, Format("Version logic %s failed - bad expression.", text));
    return false;
  }
  const std::string attribute = UpperAscii(words[1]);
  const std::string op = UpperAscii(words[2]);
  const std::string value = words.size() > 3 ? words[3] : std::string();

  int result = -1;
  if (attribute == "KERNEL" || attribute == "OSNAME" || attribute == "OSTYPE") {
    const std::string& fact = attribute == "KERNEL"   ? kernel_
                              : attribute == "OSNAME" ? osName_
                                                      : osType_;
    if (op == "IS") result = EqualsNoCase(fact, value);
    if (op == "ISNOT") result = !EqualsNoCase(fact, value);
  } else if (attribute == "VERSION") {
    result = Compare(op, version_, ReadFloat(value));
  } else if (attribute == "BUILD" || attribute == "SPACK") {
    const uint32_t fact = attribute == "BUILD" ? build_ : servicePack_;
    result = Compare(op, static_cast<int32_t>(fact), static_cast<int32_t>(ReadUnsigned(value)));
  } else if (attribute == "REG" || attribute == "FILE" || attribute == "FOLDER") {
    if (op != "IS" && op != "ISNOT") {
      Log(SeverityError, Format(" The %s Operator is not valid", words[2].c_str()));
    } else {
      bool passes = false;
      bool isFolder = false;
      if (attribute == "REG") {
        passes = RegistryTest();
      } else if (attribute == "FILE") {
        passes = !file_.empty() && system_.PathAttributes(file_, &isFolder) && !isFolder;
      } else {
        passes = !folder_.empty() && system_.PathAttributes(folder_, &isFolder) && isFolder;
      }
      result = op == "IS" ? passes : !passes;
    }
  }
  const bool outcome = result == 1;
  Log(SeverityInformation,
      Format(outcome ? "Version logic %s returned true." : "Version logic %s returned false.",
             text));
  return outcome;
}
