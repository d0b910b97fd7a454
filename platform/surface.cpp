// Surfaces outside the core lock: kept by pins while a backend works on them,
// shown and presented under their own lock.

#include "platform/backend.h"

surface* pin_surface(surface* s) {
  s->refs.fetch_add(1, std::memory_order_relaxed);
  return s;
}

// No window names s once its own pin is gone, so nobody can pin it again.
void unpin_surface(surface* s) {
  if (s->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (s->native) backend_destroy(s->native);
  delete s;
}

surface* pin_to_show(surface* s, bool visible) {
  s->visible = visible;
  return pin_surface(s);
}

void show_surface(surface* s) {
  {
    std::lock_guard<std::mutex> g(s->lock);
    backend_show(s->native, s->visible);
  }
  unpin_surface(s);
}

void present_surface(surface* s, RECT area) {
  {
    std::lock_guard<std::mutex> g(s->lock);
    backend_present(s->native, area);
  }
  unpin_surface(s);
}
