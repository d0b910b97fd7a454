#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/file_sys.h"

int32_t sys_open_read(const char* path) {
  int fd;
  do fd = open(path, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int32_t sys_open_write(const char* path) {
  int fd;
  // 0666 less the umask: a data file, never executable.
  do fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int32_t sys_open_write_keep(const char* path) {
  int fd;
  do fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int32_t sys_truncate(int32_t fd) {
  struct stat st = {};
  if (fstat(fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return 0;
  int r;
  do r = ftruncate(fd, 0);
  while (r != 0 && errno == EINTR);
  return r == 0 ? 0 : -1;
}

int32_t sys_same_file(int32_t a, int32_t b) {
  struct stat sa = {}, sb = {};
  if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return 0;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino ? 1 : 0;
}

int64_t sys_file_size(int32_t fd) {
  struct stat st = {};
  if (fstat(fd, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

int32_t sys_read(int32_t fd, void* buf, int32_t n) {
  ssize_t r;
  do r = read(fd, buf, static_cast<size_t>(n));
  while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<int32_t>(r);
}

int32_t sys_write(int32_t fd, const void* buf, int32_t n) {
  ssize_t r;
  do r = write(fd, buf, static_cast<size_t>(n));
  while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<int32_t>(r);
}

// Not repeated on EINTR: Linux has released the descriptor by then.
int32_t sys_close(int32_t fd) { return close(fd) == 0 ? 0 : -1; }
