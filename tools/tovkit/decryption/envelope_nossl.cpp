#include "decrypt.h"
#include "keys.h"

namespace tovkit {

bool DecryptEnvelope(std::FILE*, const std::string&, std::FILE*, std::string* error) {
  *error = kNeedsOpenSsl;
  return false;
}

}  // namespace tovkit
