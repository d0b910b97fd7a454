#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "support/file_sys.h"

int32_t sys_open_read(const char* path) { return _open(path, _O_RDONLY | _O_BINARY); }

int32_t sys_open_write(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int32_t sys_open_write_keep(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int32_t sys_truncate(int32_t fd) {
  auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) return -1;
  if (GetFileType(h) != FILE_TYPE_DISK) return 0;
  return _chsize_s(fd, 0) == 0 ? 0 : -1;
}

// The C library's status has no file number on Windows; the volume and the
// file index of the handle are the inode's counterpart.
int32_t sys_same_file(int32_t a, int32_t b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  auto ha = reinterpret_cast<HANDLE>(_get_osfhandle(a));
  auto hb = reinterpret_cast<HANDLE>(_get_osfhandle(b));
  if (ha == INVALID_HANDLE_VALUE || hb == INVALID_HANDLE_VALUE) return 0;
  if (!GetFileInformationByHandle(ha, &ia) || !GetFileInformationByHandle(hb, &ib)) return 0;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                 ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow
             ? 1
             : 0;
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
