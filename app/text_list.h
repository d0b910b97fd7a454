#pragma once
// The device list without a window: texts kept in ascending byte order
// (so "10.0.0.10" sorts before "10.0.0.2"). Every operation takes the list's
// lock, so the receiver thread may add while another thread reads.

#include <cstdint>

#include "app/probe.h"

struct text_list;

text_list* text_list_create();  // null when no memory is left
void text_list_free(text_list* list);

int32_t text_list_find(text_list* list, const char* text);  // 1 when a whole text equals it
int32_t text_list_add(text_list* list, const char* text);   // the new item's index
void text_list_clear(text_list* list);
int32_t text_list_count(text_list* list);
// Copies item i, cut to size - 1 bytes, into out: its full length, or -1 when
// there is no item i.
int32_t text_list_get(text_list* list, int32_t i, char* out, int32_t size);

// The exchange's list operations over a text_list in probe_ctx::list.
extern const device_list_ops text_list_ops;
