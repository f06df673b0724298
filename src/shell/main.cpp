// CRVL.exe: the tray program.
#include <windows.h>

#include "shell/program.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  return crvl::shell::runProgram();
}
