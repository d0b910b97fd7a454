// The backend: chosen by name once the first top-level window is made, its
// empty slots given defaults that do nothing.

#include "platform/backend.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/windowing.h"

namespace {

template <class... A>
void ignore(const A&...) {}

// The defaults, each named after its slot.
#define BACKEND_SLOT(result, slot, params, args, fallback) \
  result none_##slot params {                              \
    ignore args;                                           \
    return static_cast<result>(fallback);                  \
  }
BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT

const backend none = {.name = "none",
#define BACKEND_SLOT(result, slot, params, args, fallback) .slot = none_##slot,
                      BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT
};

backend with_defaults(backend b) {
#define BACKEND_SLOT(result, slot, params, args, fallback) \
  if (!b.slot) b.slot = none.slot;
  BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT
  return b;
}

const backend* const backends[] = {&backend_x11, &backend_headless};

struct choice {
  std::once_flag once;
  backend table;  // the chosen one, its empty slots filled
  std::atomic<const backend*> current{&none};
  bool open = false;
  char why[256] = "";
};

// Never freed: threads may outlive main's statics.
choice& chosen() {
  static auto* c = new choice;
  return *c;
}

// The backend KTA_WINDOWING names, x11 where it names none; null for a name
// that no backend has, with why filled in.
const backend* wanted(char* why, size_t why_size) {
  const char* want = getenv("KTA_WINDOWING");
  if (!want || !*want) return &backend_x11;
  std::string names;
  for (const backend* b : backends) {
    if (strcmp(want, b->name) == 0) return b;
    names += names.empty() ? b->name : std::string(", ") + b->name;
  }
  snprintf(why, why_size, "no windowing backend is named '%s' (there are: %s)", want,
           names.c_str());
  return nullptr;
}

}  // namespace

void backend_called_locked(const char* slot) {
  fprintf(stderr, "platform: the backend's %s was called with the core lock held\n", slot);
  abort();
}

bool choose_backend() {
  choice& c = chosen();
  std::call_once(c.once, [&c] {
    const backend* b = wanted(c.why, sizeof c.why);
    if (!b) return;
    c.table = with_defaults(*b);
    if (unlocked(&c.table, "open")->open(c.why, sizeof c.why) != 0) return;
    c.open = true;
    c.current.store(&c.table, std::memory_order_release);
  });
  return c.open;
}

const backend* current_backend() { return chosen().current.load(std::memory_order_acquire); }

const char* windowing_failure() { return choose_backend() ? nullptr : chosen().why; }
