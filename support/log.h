#pragma once
// The library's diagnostic channel: each message goes to standard output and
// is appended to "log.txt" in the current directory. The file is opened by
// the first message of a span (mem_start to mem_stop) and begins with the
// local time of that open as "hh:mm:ss", with no line end after it.

#include <cstdint>

// Seconds since 1970-01-01 00:00:00 UTC. 64 bits, so the value does not wrap in 2038.
using time_value = int64_t;

// printf-style; a message longer than 1999 characters is cut to 1999.
void log_print(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Local time of day of t as "hh:mm:ss" into out (at least 9 bytes); returns out.
char* time_text(time_value t, char* out);
time_value time_now();

// For mem_start and mem_stop: flush and close the log stream, if open; the
// next message starts a new file.
void log_close();
