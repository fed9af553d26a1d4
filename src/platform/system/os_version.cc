#include "platform/system/os_version.h"

namespace vorn {

bool operatingSystemSupportsSpeechEngine() { return true; }

}  // namespace vorn
