#pragma once
// Counts the process's open descriptors, so a test can prove it left none behind.
// On Windows: its handles to files, pipes and sockets.

int open_descriptor_count();
