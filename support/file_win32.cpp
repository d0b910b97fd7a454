#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "support/file_sys.h"

int32_t sys_open_read(const char* path) { return _open(path, _O_RDONLY | _O_BINARY); }

int32_t sys_open_write(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int64_t sys_file_size(int32_t fd) {
  struct _stat64 st = {};
  if (_fstat64(fd, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

int32_t sys_read(int32_t fd, void* buf, int32_t n) {
  int r = _read(fd, buf, static_cast<unsigned>(n));
  return r < 0 ? -1 : r;
}

int32_t sys_write(int32_t fd, const void* buf, int32_t n) {
  int r = _write(fd, buf, static_cast<unsigned>(n));
  return r < 0 ? -1 : r;
}

int32_t sys_close(int32_t fd) { return _close(fd) == 0 ? 0 : -1; }
