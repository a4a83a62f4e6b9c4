#pragma once
// The application object: sets up the locale, reads the command line and
// runs exactly one mode to its end.

#include "app/modes.h"
#include "platform/framework/win_app.h"

class CScribletApp : public CWinApp {
 public:
  // modes must outlive the application object. Null means the real modes.
  explicit CScribletApp(ScribletModes* modes = nullptr) : m_modes(modes) {}

  // Locale step, argument text, tokens, lower-cased mode, dispatch.
  // Returns FALSE on every path, so no message loop follows.
  BOOL InitInstance() override;

 private:
  ScribletModes* m_modes;
};
