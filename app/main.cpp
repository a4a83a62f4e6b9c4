#include "app/scriblet_app.h"

int main(int argc, char** argv) {
  CScribletApp theApp;
  return theApp.Run(argc, argv);
}
