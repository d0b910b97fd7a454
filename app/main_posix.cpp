// The platform's GUI start-up, as Windows does it before WinMain: the module,
// the command line after the program's name, and the default show state.

#include <string>

#include "platform/winapi.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; i++) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return WinMain(GetModuleHandleA(nullptr), nullptr, line.data(), SW_SHOWDEFAULT);
}
