// The clipboard in CF_TEXT, with the moveable memory its data is handed over
// in. What the program copies is also given to the backend, which offers it
// to the other programs of the desktop for as long as this one runs.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/backend.h"

namespace {

struct global_block {
  SIZE_T size;
  int locks;
  alignas(std::max_align_t) unsigned char data[1];
};

// Under core_lock; never freed, as other threads may still hand in handles.
std::unordered_set<global_block*>& live_blocks() {
  static auto* s = new std::unordered_set<global_block*>;
  return *s;
}

global_block* block_of(HGLOBAL mem) {
  auto* b = static_cast<global_block*>(mem);
  return live_blocks().count(b) ? b : nullptr;
}

struct clipboard_state {
  thread_queue* opened_by = nullptr;
  HWND opened_for = nullptr;
  HWND owner = nullptr;
  global_block* text = nullptr;  // CF_TEXT, the clipboard's own once set
  bool changed = false;          // since it was opened
};

clipboard_state& clip() {
  static auto* c = new clipboard_state;
  return *c;
}

void drop_text(clipboard_state& c) {
  if (!c.text) return;
  live_blocks().erase(c.text);
  std::free(c.text);
  c.text = nullptr;
}

// CF_TEXT up to its end, read as Latin-1, with Windows' line ends made Unix's.
std::string desktop_text(const global_block* b) {
  std::string out;
  auto n = static_cast<size_t>(b->size);
  for (size_t i = 0; i < n && b->data[i]; i++) {
    unsigned char c = b->data[i];
    if (c == '\r' && i + 1 < n && b->data[i + 1] == '\n') continue;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool opened_here(const clipboard_state& c) { return c.opened_by && c.opened_by == my_queue(); }

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > (SIZE_T{1} << 31)) return nullptr;  // more than Windows would give, and no wrap-round
  auto* b = static_cast<global_block*>(std::malloc(offsetof(global_block, data) + bytes + 1));
  if (!b) return nullptr;
  b->size = bytes;
  b->locks = 0;
  if (flags & GMEM_ZEROINIT) std::memset(b->data, 0, bytes + 1);
  core_guard g(core_lock());
  live_blocks().insert(b);
  return b;
}

LPVOID GlobalLock(HGLOBAL mem) {
  core_guard g(core_lock());
  global_block* b = block_of(mem);
  if (!b) return nullptr;
  b->locks++;
  return b->data;
}

// FALSE once the last lock is gone, as Windows answers.
BOOL GlobalUnlock(HGLOBAL mem) {
  core_guard g(core_lock());
  global_block* b = block_of(mem);
  if (!b || b->locks == 0) return FALSE;
  return --b->locks > 0;
}

SIZE_T GlobalSize(HGLOBAL mem) {
  core_guard g(core_lock());
  global_block* b = block_of(mem);
  return b ? b->size : 0;
}

// Null when freed; the handle back when it cannot be, also when the clipboard holds it.
HGLOBAL GlobalFree(HGLOBAL mem) {
  core_guard g(core_lock());
  global_block* b = block_of(mem);
  if (!b || b == clip().text) return mem;
  live_blocks().erase(b);
  std::free(b);
  return nullptr;
}

BOOL OpenClipboard(HWND owner) {
  auto [g, w] = lock_window(owner);
  clipboard_state& c = clip();
  if ((owner && !w) || (c.opened_by && !opened_here(c))) return FALSE;
  c.opened_by = my_queue();
  c.opened_for = owner;
  c.changed = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  core_guard g(core_lock());
  clipboard_state& c = clip();
  if (!opened_here(c)) return FALSE;
  drop_text(c);
  c.owner = c.opened_for;
  c.changed = true;
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  core_guard g(core_lock());
  clipboard_state& c = clip();
  global_block* b = block_of(data);
  if (!opened_here(c) || format != CF_TEXT || !b) return nullptr;
  if (b != c.text) drop_text(c);
  c.text = b;
  c.changed = true;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  core_guard g(core_lock());
  clipboard_state& c = clip();
  return opened_here(c) && format == CF_TEXT ? c.text : nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  core_guard g(core_lock());
  return format == CF_TEXT && clip().text != nullptr;
}

HWND GetClipboardOwner() {
  core_guard g(core_lock());
  return find_window(clip().owner) ? clip().owner : nullptr;
}

BOOL CloseClipboard() {
  std::string text;
  bool offer, empty;
  {
    core_guard g(core_lock());
    clipboard_state& c = clip();
    if (!opened_here(c)) return FALSE;
    c.opened_by = nullptr;
    offer = c.changed;
    empty = !c.text;
    if (c.text) text = desktop_text(c.text);
  }
  if (offer) backend_set_clipboard(empty ? nullptr : text.c_str(), text.size());
  return TRUE;
}

void input_clipboard_lost() {
  core_guard g(core_lock());
  clipboard_state& c = clip();
  if (c.opened_by) return;  // its data may be in use; a later copy replaces it anyway
  drop_text(c);
  c.owner = nullptr;
}
