#include "tools/scan_sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>

namespace {

std::atomic<void (*)()> stop_handler{nullptr};

// Windows runs this on a thread of its own for each console event.
BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  stop_handler.load()();
  return TRUE;
}

}  // namespace

FILE* scan_open_output() {
  int fd = _dup(1);
  if (fd < 0) return nullptr;
  FILE* out = _fdopen(fd, "w");
  if (!out) {
    _close(fd);
    return nullptr;
  }
  std::fflush(stdout);
  int null = _open("NUL", _O_WRONLY);
  if (null >= 0) {
    _dup2(null, 1);
    _close(null);
  }
  return out;
}

void scan_binary_output(FILE* out) {
  std::fflush(out);
  _setmode(_fileno(out), _O_BINARY);
}

// An anonymous pipe tells only at a write.
bool scan_reader_gone(FILE*) { return false; }

int32_t scan_catch_stop(void (*on_stop)()) {
  stop_handler.store(on_stop);
  return SetConsoleCtrlHandler(on_console_event, TRUE) ? 0 : -1;
}

std::vector<std::string> scan_registry_files() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir = n > 0 && n < sizeof path ? std::string(path, n) : std::string();
  size_t slash = dir.find_last_of("\\/");
  dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
  return {dir + "oui.csv", dir + "mam.csv", dir + "oui36.csv"};
}
