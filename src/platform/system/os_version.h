#ifndef VORN_PLATFORM_SYSTEM_OS_VERSION_H_
#define VORN_PLATFORM_SYSTEM_OS_VERSION_H_

namespace vorn {

// Whether the running operating system can host the speech engine. The
// engines this build ships are not tied to an operating-system release, so
// this holds wherever the program runs; it stays a hook so that an engine
// which does need a minimum release has one place to say so.
bool operatingSystemSupportsSpeechEngine();

}  // namespace vorn

#endif  // VORN_PLATFORM_SYSTEM_OS_VERSION_H_
