#include "app/text_list.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "support/lock_sys.h"

struct text_list {
  sys_lock lock;
  // std::string compares through memcmp, i.e. byte by byte as unsigned.
  std::vector<std::string> items;
};

namespace {

using held = std::lock_guard<sys_lock>;

int32_t ops_find(void* list, const char* text) {
  return text_list_find(static_cast<text_list*>(list), text);
}

void ops_add(void* list, const char* text) { text_list_add(static_cast<text_list*>(list), text); }

}  // namespace

const device_list_ops text_list_ops = {ops_find, ops_add};

text_list* text_list_create() { return new (std::nothrow) text_list; }

void text_list_free(text_list* list) { delete list; }

int32_t text_list_find(text_list* list, const char* text) {
  held h(list->lock);
  return std::binary_search(list->items.begin(), list->items.end(), std::string(text)) ? 1 : 0;
}

int32_t text_list_add(text_list* list, const char* text) {
  held h(list->lock);
  std::string item(text);
  // After any equal texts, as a sorted list box inserts.
  auto at = std::upper_bound(list->items.begin(), list->items.end(), item);
  at = list->items.insert(at, std::move(item));
  return static_cast<int32_t>(at - list->items.begin());
}

void text_list_clear(text_list* list) {
  held h(list->lock);
  list->items.clear();
}

int32_t text_list_count(text_list* list) {
  held h(list->lock);
  return static_cast<int32_t>(list->items.size());
}

int32_t text_list_get(text_list* list, int32_t i, char* out, int32_t size) {
  held h(list->lock);
  if (i < 0 || static_cast<size_t>(i) >= list->items.size()) return -1;
  const std::string& item = list->items[static_cast<size_t>(i)];
  if (size > 0) {
    size_t n = std::min(item.size(), static_cast<size_t>(size) - 1);
    std::memcpy(out, item.data(), n);
    out[n] = 0;
  }
  return static_cast<int32_t>(item.size());
}
