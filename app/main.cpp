#include "app/scriblet_app.h"
#include "platform/window/gui.h"

int main(int argc, char** argv) {
  SetGuiProgramName(argc > 0 ? argv[0] : nullptr);
  CScribletApp theApp;
  return theApp.Run(argc, argv);
}
