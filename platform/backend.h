#pragma once
// The backend table, the surfaces it shows and the core's calls into it and
// back. Nothing outside platform/ but its tests includes this header.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/core.h"

// The pixels of a top-level window's client area, 0x00RRGGBB, drawn by the
// core and copied out by the backend.
struct surface {
  int w = 0;
  int h = 0;
  // Each of the program's pixels is scale x scale of these, the screen's;
  // the program's coordinates and sizes do not change.
  int scale = 1;
  std::vector<uint32_t> pixels;
  // Over the pixels: taken without the core lock, so that a present or a
  // text in progress holds up no other window.
  std::mutex lock;
  RECT dirty{};                      // client coordinates; empty when nothing is to be presented
  void* native = nullptr;            // set once, under the core lock, when the window is made
  std::atomic<int> refs{1};          // the window's own, and each pin_surface
  std::atomic<bool> visible{false};  // as its window last asked
};

// How a top-level window stands before the window manager, from its styles.
struct frame_kind {
  bool sizable = false;   // WS_THICKFRAME
  bool minimize = false;  // WS_MINIMIZEBOX
  bool maximize = false;  // WS_MAXIMIZEBOX
  bool dialog = false;    // an owned popup, such as a message box
};

// Every slot of a backend, once: X(result, slot, (parameters), (arguments),
// what the slot gives where a backend leaves it empty). The table, its
// defaults and the calls the core makes through it all come from this list.
#define BACKEND_SLOTS(X)                                                                      \
  /* 0 when the backend can be used, else -1 with why filled in for a person. */              \
  X(int, open, (char* why, size_t why_size), (why, why_size), 0)                              \
  X(void*, create, (HWND top, surface * s, int x, int y, const char* title),                  \
    (top, s, x, y, title), nullptr)                                                           \
  X(void, destroy, (void* native), (native), void())                                          \
  X(void, show, (void* native, bool visible), (native, visible), void())                      \
  X(void, present, (void* native, RECT area), (native, area), void())                         \
  X(void, set_title, (void* native, const char* title), (native, title), void())              \
  X(void, set_icon, (void* native, HICON icon), (native, icon), void())                       \
  /* The window belongs to owner's: a window manager keeps it above that one. */              \
  X(void, set_owner, (void* native, void* owner_native), (native, owner_native), void())      \
  X(void, set_frame, (void* native, frame_kind kind), (native, kind), void())                 \
  /* Brings the window forward with the focus, for a click at time on its disabled owner. */  \
  X(void, activate, (void* native, DWORD time), (native, time), void())                       \
  /* Screen pixels per pixel of the program's, the same for every window. */                  \
  X(int, scale, (), (), 1)                                                                    \
  /* The desktop's clipboard holds this UTF-8 text, served while the program runs. */         \
  X(void, set_clipboard, (const char* text, size_t len), (text, len), void())                 \
  /* Waits until wake_fd is readable or an event came in; events are handed to the core's */  \
  /* input functions. False at once where the backend has nothing of its own to watch, and */ \
  /* the thread waits on its queue instead. */                                                \
  X(bool, wait, (int wake_fd), (wake_fd), false)                                              \
  /* Hands over events already read, without waiting. */                                      \
  X(void, pump, (), (), void())                                                               \
  /* Windows' 500 ms where the backend has no setting of its own. */                          \
  X(DWORD, double_click_ms, (), (), 500)                                                      \
  /* Text in the desktop's font: -1 and false where the backend has none, and the built-in */ \
  /* font draws it. draw_text is called with the surface's lock held. */                      \
  X(int, text_width, (const char* text, int len), (text, len), -1)                            \
  X(bool, draw_text,                                                                          \
    (surface * s, int x, int baseline, RECT clip, const char* text, int len, uint32_t rgb),   \
    (s, x, baseline, clip, text, len, rgb), false)

// One table per backend: the core calls nothing else of it. A slot a backend
// leaves empty is given its default, which does nothing, when it is chosen.
struct backend {
  const char* name = "";
#define BACKEND_SLOT(result, slot, params, args, fallback) result(*slot) params = nullptr;
  BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT
};

extern const backend backend_headless;
extern const backend backend_x11;

// Chooses the backend once, by KTA_WINDOWING or else x11, and opens it;
// false where it could not be (windowing_failure says why). Without the core lock.
bool choose_backend();
// Never null: until a backend is chosen, or where none could be opened, one
// that shows nothing and draws no text of its own.
const backend* current_backend();

[[noreturn]] void backend_called_locked(const char* slot);

// A backend call under the core lock would hold up every thread for as long
// as the display takes: a debug build ends the program at one.
inline const backend* unlocked(const backend* b, const char* slot) {
  if constexpr (core_lock_checked)
    if (core_mutex::held_here) backend_called_locked(slot);
  return b;
}

// The core's calls into the chosen backend, one per slot.
#define BACKEND_SLOT(result, slot, params, args, fallback) \
  inline result backend_##slot params { return unlocked(current_backend(), #slot)->slot args; }
BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT

// Under the core lock: s, its native window and its pixels stay until unpin_surface.
surface* pin_surface(surface* s);
// Without the core lock; the last one destroys the native window and the surface.
void unpin_surface(surface* s);
// Under the core lock: pins s, to be shown or hidden once the lock is gone.
surface* pin_to_show(surface* s, bool visible);
// Shows or hides s as it was last asked to be, and unpins it: of two threads
// that show one window, the later's wish is what stays on the screen.
void show_surface(surface* s);
// Presents area of s with its lock held, and unpins it.
void present_surface(surface* s, RECT area);

// The backend's input, in the top-level window's client coordinates; each
// takes the core lock, so a backend calls them without locks of its own.
void input_mouse(HWND top, UINT msg, int x, int y, DWORD time);
void input_wheel(HWND top, int x, int y, int delta);
// Where the window manager put the client area, in screen coordinates.
void input_moved(HWND top, int x, int y);
// Another program took the desktop's clipboard: what this one held is gone.
void input_clipboard_lost();
void input_key(HWND top, bool down, UINT vk, UINT scan);
void input_close(HWND top);
void input_expose(HWND top);

// The icon drawn for the tool, as 32x32 ARGB pixels, for backends.
bool icon_pixels(HICON icon, uint32_t* argb);  // 1024 pixels
