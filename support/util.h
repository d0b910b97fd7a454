#pragma once
// Byte, string and file helpers for programs built on the library. Every
// block they hand out comes from my_malloc; the caller gives it back with my_free.
//
// Cursor functions work at buf + *pos and move *pos past what they wrote or
// read. They know no buffer size: the caller sizes the buffer for its data.

#include <cstdint>

// The n bytes (zeros allowed) and a zero, in a block of n + 1 bytes; null for n < 0.
char* dup_bytes(const void* src, int32_t n);
char* dup_cstr(const char* s);
// Null for a null s or when no memory is left.
char* dup_str(const char* s);

// The whole file into a new block in *out (its bytes only, no zero added):
// the byte count, or -1 when the file cannot be opened, is empty or cannot be
// read. A -1 leaves no block behind: *out is untouched, or null after a failed read.
int32_t file_read_all(const char* path, char** out);
// Creates or empties the file and writes len bytes: 0, or -1 when the file
// cannot be opened or not every byte could be written.
int32_t file_write_all(const char* path, const void* data, int32_t len);
// 0, or -1 when a file cannot be opened or a read or write fails, and when
// dst is src under any name (the file is then left as it was).
int32_t file_copy(const char* src, const char* dst);

// A negative n, here and in put_lp_string, puts nothing and leaves *pos.
void put_bytes(uint8_t* buf, int32_t* pos, const void* src, int32_t n);
// printf-style text (cut at 999 characters) followed by a zero; *pos rests on
// that zero, so the next put overwrites it.
void put_format(uint8_t* buf, int32_t* pos, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
// A 4-byte big-endian length, then the len bytes.
void put_lp_string(uint8_t* buf, int32_t* pos, const void* data, int32_t len);
// Reads a length N and its N bytes into out, followed by a zero; returns N.
// Trusts the stored length: out must hold N + 1 bytes. A length of 2^31 or
// more gives -1 with nothing written and *pos unchanged.
int32_t get_lp_string(const uint8_t* buf, int32_t* pos, char* out);
// As get_lp_string for data that may be damaged or hostile: buf holds len
// bytes, out holds out_size. -1, with *pos and out unchanged, when the stored
// length runs past the input or does not fit out with its zero.
int32_t get_lp_string_checked(const uint8_t* buf, int32_t len, int32_t* pos, char* out,
                              int32_t out_size);

void put_u32_be(uint8_t* dst, uint32_t v);
uint32_t get_u32_be(const uint8_t* src);
void put_u16_be(uint8_t* dst, uint16_t v);
uint16_t get_u16_be(const uint8_t* src);

// Blanks are space and tab.
void skip_blanks(const char* s, int32_t* pos);
// Stops at a zero, a space or a tab.
void skip_to_blank(const char* s, int32_t* pos);
// Moves *pos to the first ch below len (ch 0: the first comma, space or tab),
// or to len; zeros do not stop it. Returns 0.
int32_t scan_to(const char* s, int32_t len, int32_t* pos, char ch);
// Skips blanks and the word after them; returns where the word begins.
int32_t next_word(const char* s, int32_t* pos);
// Decimal digits at *pos as a number (no sign; wraps like int32_t); 0 when none.
int32_t parse_digits(const char* s, int32_t* pos);

// A ring node's first two fields; the user's data follows them.
struct ring_node {
  ring_node* next;
  ring_node* prev;
};
// at->next must not be null.
void ring_insert_after(ring_node* at, ring_node* node);
// Joins the node's neighbours; the node keeps its own two fields.
void ring_unlink(ring_node* node);

// Case mapping as in the C locale (only A-Z and a-z change), in place.
void upper_n(char* s, int32_t n);
char* upper_str(char* s);
void lower_n(char* s, int32_t n);
char* lower_str(char* s);
// Difference of the first unequal pair after lower-casing, bytes taken as
// signed (0x80-0xFF below zero); exactly n bytes, zeros included.
int32_t compare_nocase_n(const char* a, const char* b, int32_t n);
// Over the longer of the two lengths, so the shorter one's zero takes part.
int32_t compare_nocase(const char* a, const char* b);
