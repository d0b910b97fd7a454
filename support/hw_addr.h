#pragma once
// The library's default hardware address and its text form.

#include <cstdint>

// The six bytes 00 11 22 33 44 55 into dst.
void hw_addr_default(uint8_t* dst);
// "001122334455" and its zero into out (at least 13 bytes).
void hw_addr_text(char* out);
