#pragma once
// The platform's file descriptors, one file per platform (file_posix.cpp, file_win32.cpp).

#include <cstdint>

// Read-only, untranslated: a descriptor, or -1.
int32_t sys_open_read(const char* path);
// Write-only, created or emptied, untranslated, with the platform's ordinary
// permissions for a data file: a descriptor, or -1.
int32_t sys_open_write(const char* path);
// As sys_open_write but the file keeps what it holds: a descriptor, or -1.
int32_t sys_open_write_keep(const char* path);
// Empties the open file: 0, or -1. Like opening with truncation, it leaves a
// device or a pipe as it is.
int32_t sys_truncate(int32_t fd);
// 1 when both descriptors are the same file (same device and file number,
// whatever names they were opened by); 0 when not or when it cannot be told.
int32_t sys_same_file(int32_t a, int32_t b);
// Size of the open file; 0 when its status cannot be read.
int64_t sys_file_size(int32_t fd);
// One read or write of up to n bytes: the count moved, 0 at end of file, -1
// on failure. An interrupted call is repeated.
int32_t sys_read(int32_t fd, void* buf, int32_t n);
int32_t sys_write(int32_t fd, const void* buf, int32_t n);
// 0, or -1 when the close reports a failure (a write that could not be completed).
int32_t sys_close(int32_t fd);
