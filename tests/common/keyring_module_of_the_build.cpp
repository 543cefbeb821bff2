// Test programs live outside the build's bin/ folder, where the keyring
// module is: each names it before its first keyring call.
#include "keyring.h"

namespace {
const bool kNamed = [] {
  Keyring::useModuleFileForTesting(QStringLiteral(TALVENOR_KEYRING_MODULE));
  return true;
}();
}  // namespace
