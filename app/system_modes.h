#pragma once
// The modes as the real program runs them, on a given Env.

#include "app/modes.h"
#include "platform/os/env.h"

class SystemModes : public ScribletModes {
 public:
  // caption: the message boxes' caption, the executable's name.
  SystemModes(Env& env, std::u16string caption) : m_env(env), m_caption(std::move(caption)) {}

  int NewNote(const std::u16string& folder) override;
  int Search(const std::u16string& folder) override;
  int Instructions() override;
  int Help() override;
  int Version() override;

 private:
  Env& m_env;
  std::u16string m_caption;
};
