#pragma once
// What kta-scan needs of the platform beyond the library: scan_sys_posix.cpp,
// scan_sys_win32.cpp.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The program's own stream for its results, on what standard output was.
// Standard output itself then leads to the null device: the library prints
// its diagnostic lines there (log.txt keeps them), and they must not mix
// with the results. A write to a reader that has gone reports EPIPE rather
// than ending the process. Null when standard output is not open.
FILE* scan_open_output();

// Puts out in binary mode, where the platform has another: CSV ends its
// records with CR LF itself, which a text stream on Windows would double.
void scan_binary_output(FILE* out);

// True when the reader of out has gone (a pipe closed at its other end),
// so that a watch with nothing to print still ends. False where the
// platform cannot tell before a write.
bool scan_reader_gone(FILE* out);

// From now on SIGINT and SIGTERM (on Windows Ctrl+C and Ctrl+Break) call
// on_stop, on a thread of their own, instead of ending the process. Before
// any other thread starts, so that none of them takes the signal. 0, or -1.
int32_t scan_catch_stop(void (*on_stop)());

// The IEEE registry files that name the makers of hardware addresses, where
// the platform keeps them: Debian's ieee-data on Linux; on Windows the copies
// that ship beside kta-scan.exe.
std::vector<std::string> scan_registry_files();
