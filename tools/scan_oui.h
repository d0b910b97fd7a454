#pragma once
// The makers of hardware addresses, from the IEEE registry in the form that
// Debian's ieee-data keeps it: CSV files of "Registry,Assignment,
// Organization Name,Organization Address", one assignment a line, its
// prefix in hexadecimal (6 digits in oui.csv, 7 in mam.csv, 9 in
// oui36.csv). Of several assignments that hold an address, the longest wins.

#include <cstdint>

constexpr int32_t oui_maker_size = 128;
constexpr int32_t oui_files_max = 8;

struct oui_query {
  uint8_t mac[6];
  char maker[oui_maker_size];  // "" until named; made safe for a terminal
  int32_t bits;                // of the assignment that named it, 0 when none did
};

// True for a locally administered address (bit 1 of its first byte): it
// names no maker, so it is never looked up.
bool oui_locally_administered(const uint8_t* mac);
// Reads each file once and names the maker of every query's address it
// holds, locally administered ones aside: the count named, or -1 when not
// one of the files could be read.
int32_t oui_lookup(const char* const* files, int32_t nfiles, oui_query* queries, int32_t n);
