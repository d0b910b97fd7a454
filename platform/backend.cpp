// The backend: chosen by name once the first top-level window is made, its
// empty slots given defaults that do nothing.

#include <cstdlib>
#include <cstring>

#include "platform/internal.h"

namespace {

int no_open() { return 0; }
void* no_create(HWND, surface*, int, int, const char*) { return nullptr; }
void no_native(void*) {}
void no_show(void*, bool) {}
void no_present(void*, RECT) {}
void no_title(void*, const char*) {}
void no_icon(void*, HICON) {}
void no_owner(void*, void*) {}
void no_frame(void*, frame_kind) {}
void no_activate(void*, DWORD) {}
int unscaled() { return 1; }
void no_clipboard(const char*, size_t) {}
bool no_wait(int) { return false; }
void no_pump() {}
DWORD windows_double_click() { return 500; }
int no_text_width(const char*, int) { return -1; }
bool no_draw_text(surface*, int, int, RECT, const char*, int, uint32_t) { return false; }

const backend no_backend = {
    .name = "none",
    .open = no_open,
    .create = no_create,
    .destroy = no_native,
    .show = no_show,
    .present = no_present,
    .set_title = no_title,
    .set_icon = no_icon,
    .set_owner = no_owner,
    .set_frame = no_frame,
    .activate = no_activate,
    .scale = unscaled,
    .set_clipboard = no_clipboard,
    .wait = no_wait,
    .pump = no_pump,
    .double_click_ms = windows_double_click,
    .text_width = no_text_width,
    .draw_text = no_draw_text,
};

template <class F>
void fill(F& slot, F with) {
  if (!slot) slot = with;
}

backend with_defaults(backend b) {
  const backend& d = no_backend;
  fill(b.open, d.open);
  fill(b.create, d.create);
  fill(b.destroy, d.destroy);
  fill(b.show, d.show);
  fill(b.present, d.present);
  fill(b.set_title, d.set_title);
  fill(b.set_icon, d.set_icon);
  fill(b.set_owner, d.set_owner);
  fill(b.set_frame, d.set_frame);
  fill(b.activate, d.activate);
  fill(b.scale, d.scale);
  fill(b.set_clipboard, d.set_clipboard);
  fill(b.wait, d.wait);
  fill(b.pump, d.pump);
  fill(b.double_click_ms, d.double_click_ms);
  fill(b.text_width, d.text_width);
  fill(b.draw_text, d.draw_text);
  return b;
}

struct choice {
  backend be = no_backend;
  bool backend_chosen = false;
  bool backend_open = false;
};

// Under core_lock; never freed: threads may outlive main's statics.
choice& chosen() {
  static auto* c = new choice;
  return *c;
}

const struct {
  const char* name;
  const backend* be;
} backends[] = {{"x11", &backend_x11}, {"headless", &backend_headless}};

}  // namespace

// The desktop's display unless a test asks for another backend by name.
bool choose_backend() {
  choice& c = chosen();
  if (!c.backend_chosen) {
    c.backend_chosen = true;
    const char* want = getenv("KTA_WINDOWING");
    const backend* b = &backend_x11;
    for (const auto& e : backends)
      if (want && strcmp(want, e.name) == 0) b = e.be;
    if (b == &backend_x11 && !(getenv("DISPLAY") && *getenv("DISPLAY"))) b = nullptr;
    if (b) {
      backend filled = with_defaults(*b);
      if (filled.open() == 0) {
        c.be = filled;
        c.backend_open = true;
      }
    }
  }
  return c.backend_open;
}

const backend* current_backend() { return &chosen().be; }
