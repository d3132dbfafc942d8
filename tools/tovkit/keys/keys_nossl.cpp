#include "keys.h"

namespace tovkit {

const bool kHasPrivateKeys = false;

bool SignWithKey(const std::string&, const Certificate&, bool, const std::string&, KeySignature*,
                 std::string* error) {
  *error = kNeedsOpenSsl;
  return false;
}

}  // namespace tovkit
