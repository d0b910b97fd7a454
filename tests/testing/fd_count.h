#pragma once
// Counts the process's open descriptors, so a test can prove it left none behind.

int open_descriptor_count();
