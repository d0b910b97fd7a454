#pragma once
// The character references of a page's title: HTML 4's named entities (and
// XHTML's &apos;), &#NNN; and &#xHH;.

#include <cstdint>

// Decodes the references among s's n code points, in place (a reference is
// never shorter than its character): the count left. An unknown or
// unterminated one stays as it stands; a number that names no character
// gives U+FFFD.
int32_t title_decode_references(uint32_t* s, int32_t n);
