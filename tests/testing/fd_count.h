#pragma once
// Counts the process's open descriptors, so a test can prove it left none behind.
// On Windows: its handles to files, pipes and sockets.

int open_descriptor_count();

#ifndef _WIN32
// Raises the soft limit on open descriptors toward want, never past the hard
// limit, for tests that need descriptors numbered beyond the usual 1024. The
// limit in force afterwards, or -1 when it cannot be read.
long raise_descriptor_limit(long want);
#endif
