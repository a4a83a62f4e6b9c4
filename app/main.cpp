#include "app/scriblet_app.h"
#include "platform/window/gui.h"

int main(int argc, char** argv) {
  SetGuiArguments(argc, argv);
  CScribletApp theApp;
  return theApp.Run(argc, argv);
}
