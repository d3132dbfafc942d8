#include "run/local_text.h"

// Linux builds (tovkit, native tests) have no localisation file.
std::string LocalText(const std::string&, const std::string&, const std::string& defaultText) {
  return defaultText;
}
