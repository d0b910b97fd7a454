// Icons, cursors and the module handle: the program carries one icon, XOLA_ICON.

#include <strings.h>

#include "platform/backend.h"
#include "res/xola_icon.h"

namespace {

struct resource {
  int kind;
};

resource module_record{0};
resource xola_icon{1};
resource stock_icon{2};
resource stock_cursor{3};

bool is_system_id(LPCSTR name) {
  auto id = reinterpret_cast<uintptr_t>(name);
  return id >= 32512 && id <= 32651;
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
  return name ? nullptr : reinterpret_cast<HMODULE>(&module_record);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (!name) return nullptr;
  if (IS_INTRESOURCE(name))
    return (!instance && is_system_id(name)) ? reinterpret_cast<HICON>(&stock_icon) : nullptr;
  // Resource names match without regard to case, as on Windows.
  if (instance && strcasecmp(name, "XOLA_ICON") == 0) return reinterpret_cast<HICON>(&xola_icon);
  return nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (!instance && IS_INTRESOURCE(name) && is_system_id(name))
    return reinterpret_cast<HCURSOR>(&stock_cursor);
  return nullptr;
}

bool icon_pixels(HICON icon, uint32_t* argb) {
  if (reinterpret_cast<resource*>(icon) != &xola_icon) return false;
  for (int y = 0; y < xola_icon_size; y++)
    for (int x = 0; x < xola_icon_size; x++) {
      char c = xola_icon_rows[y][x];
      uint32_t v = 0;
      if (c >= '0' && c <= '9') v = 0xFF000000 | xola_icon_palette[c - '0'];
      if (c >= 'A' && c <= 'F') v = 0xFF000000 | xola_icon_palette[c - 'A' + 10];
      argb[y * xola_icon_size + x] = v;
    }
  return true;
}
