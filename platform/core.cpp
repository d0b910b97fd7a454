// The core lock and the window table: handles and the windows behind them,
// and the window tree's simple questions.

#include "platform/core.h"

namespace {

struct core_state {
  core_mutex lock;
  std::vector<window*> slots;
  std::vector<uint16_t> generations;
  std::vector<uint32_t> free_slots;
};

core_state& core() {
  // Never freed: threads may outlive main's statics.
  static core_state* c = new core_state;
  return *c;
}

// Handles look like Windows': small, even, never reused at once.
HWND handle_of(uint32_t slot, uint16_t generation) {
  return reinterpret_cast<HWND>((uintptr_t{generation} << 16) | ((slot + 1) << 1));
}

// The slot a handle names; false for a value that no handle has.
bool slot_of(HWND hwnd, uint32_t* slot) {
  auto value = reinterpret_cast<uintptr_t>(hwnd);
  if (value == 0 || (value & 1) || value > 0xFFFFFFFF) return false;
  auto slot1 = static_cast<uint32_t>((value & 0xFFFF) >> 1);
  if (slot1 == 0) return false;
  *slot = slot1 - 1;
  return true;
}

}  // namespace

core_mutex& core_lock() { return core().lock; }

HWND add_to_table(window* w) {
  core_state& c = core();
  uint32_t slot;
  if (!c.free_slots.empty()) {
    slot = c.free_slots.back();
    c.free_slots.pop_back();
  } else {
    slot = static_cast<uint32_t>(c.slots.size());
    c.slots.push_back(nullptr);
    c.generations.push_back(1);
  }
  c.slots[slot] = w;
  return handle_of(slot, c.generations[slot]);
}

void remove_from_table(window* w) {
  core_state& c = core();
  uint32_t slot = 0;
  slot_of(w->handle, &slot);
  c.slots[slot] = nullptr;
  c.generations[slot] = static_cast<uint16_t>(c.generations[slot] % 0x7FFF + 1);
  c.free_slots.push_back(slot);
}

window* find_window(HWND hwnd) {
  core_state& c = core();
  uint32_t slot;
  if (!slot_of(hwnd, &slot) || slot >= c.slots.size()) return nullptr;
  window* w = c.slots[slot];
  if (!w || w->handle != hwnd) return nullptr;
  return w;
}

locked_window lock_window(HWND hwnd) {
  std::unique_lock<core_mutex> lock(core_lock());
  window* w = find_window(hwnd);
  return locked_window{std::move(lock), w};
}

const std::vector<window*>& window_slots() { return core().slots; }

bool is_descendant(window* w, window* ancestor) {
  for (; w; w = w->parent)
    if (w == ancestor) return true;
  return false;
}

window* top_of(window* w) {
  while (w->parent) w = w->parent;
  return w;
}

bool tree_visible(window* w) {
  for (; w; w = w->parent)
    if (!(w->style & WS_VISIBLE)) return false;
  return true;
}
