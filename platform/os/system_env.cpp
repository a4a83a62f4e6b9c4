// What the operating system's Env does alike on every system.
#include <cstdio>

#include "platform/os/system_env.h"
#include "platform/text/file_names.h"

Env& Env::Default() {
  static SystemEnv env;
  return env;
}

bool SystemEnv::ShowWarning(const std::u16string& caption, const std::u16string& text) {
  std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
  return false;
}
