#pragma once
// The operating system with the window layer's message box in front: the
// Env of a program that shows windows.

#include "platform/os/system_env.h"
#include "platform/window/message_box.h"

class DesktopEnv final : public SystemEnv {
 public:
  bool ShowWarning(const std::u16string& caption, const std::u16string& text) override {
    return ShowMessageBox(caption, text);
  }
};
