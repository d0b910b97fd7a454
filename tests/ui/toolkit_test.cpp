#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/testing/headless.h"
#include "ui/win.h"

namespace {

struct Toolkit : ::testing::Test {
  static void SetUpTestSuite() {
    use_headless_windowing();
    win_register_class(nullptr, nullptr);
  }
  void TearDown() override {
    while (win_list) win_free(win_list);
  }
};

// What the handlers saw, in order.
std::vector<std::string> seen;

LRESULT note_down(win_obj*) {
  seen.push_back("down");
  return 0;
}
LRESULT note_up(win_obj*) {
  seen.push_back("up");
  return 0;
}
LRESULT note_move(win_obj*) {
  seen.push_back("move");
  return 0;
}
LRESULT note_drag(win_obj*) {
  seen.push_back("drag");
  return 0;
}
LRESULT command_handled(win_obj*) {
  seen.push_back("command");
  return 0;
}
LRESULT command_passed_on(win_obj*) {
  seen.push_back("command");
  return 7;
}

TEST_F(Toolkit, ObjectsLieOnTheListNewestFirstAndUnlinkCleanly) {
  win_obj* a = win_alloc(0);
  win_obj* b = win_alloc(8);
  win_obj* c = win_alloc(0);
  EXPECT_EQ(win_list, c);
  EXPECT_EQ(c->next, b);
  EXPECT_EQ(b->next, a);
  EXPECT_EQ(a->next, nullptr);
  EXPECT_EQ(c->prev, nullptr);

  win_free(b);
  EXPECT_EQ(c->next, a);
  EXPECT_EQ(a->prev, c);
  win_free(c);
  EXPECT_EQ(win_list, a);
  EXPECT_EQ(a->prev, nullptr);
  win_free(a);
  EXPECT_EQ(win_list, nullptr);
}

TEST_F(Toolkit, FreshObjectHasOnlyTheDefaultSlots) {
  win_obj* o = win_alloc(0);
  EXPECT_EQ(o->dispatch, win_dispatch);
  EXPECT_EQ(o->on_destroy, win_default_destroy);
  EXPECT_EQ(o->on_paint, win_default_paint);
  win_obj blank;
  std::memset(&blank, 0, sizeof blank);
  blank.dispatch = o->dispatch;
  blank.on_destroy = o->on_destroy;
  blank.on_paint = o->on_paint;
  blank.next = o->next;
  EXPECT_EQ(std::memcmp(&blank, o, sizeof blank), 0);

  win_obj* u = win_alloc(40);
  const auto* user = static_cast<const unsigned char*>(win_user(u));
  for (int i = 0; i < 40; i++) ASSERT_EQ(user[i], 0) << i;
}

TEST_F(Toolkit, FindAcceptsOnlyLiveObjects) {
  EXPECT_EQ(win_find(nullptr), nullptr);
  win_obj* o = win_alloc(16);
  EXPECT_EQ(win_find(o), o);
  EXPECT_EQ(win_find(win_user(o)), nullptr);
  EXPECT_EQ(win_find(reinterpret_cast<char*>(o) + 1), nullptr);
  win_free(o);
  EXPECT_EQ(win_find(o), nullptr);
  win_free(o);  // a second free of the same object does nothing
  EXPECT_EQ(win_list, nullptr);
}

TEST_F(Toolkit, CreateStoresTheObjectInTheWindowWord) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  ASSERT_NE(o->hwnd, nullptr);
  EXPECT_EQ(reinterpret_cast<win_obj*>(GetWindowLongPtrA(o->hwnd, 0)), o);
  char name[16];
  EXPECT_EQ(GetClassNameA(o->hwnd, name, sizeof name), 4);
  EXPECT_STREQ(name, "XOLA");
  DestroyWindow(o->hwnd);
}

TEST_F(Toolkit, DefaultDestroyFreesTheObjectAndLaterMessagesGoToTheDefault) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  HWND hwnd = o->hwnd;
  EXPECT_EQ(DestroyWindow(hwnd), TRUE);
  EXPECT_EQ(win_find(o), nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
  win_free(o);  // the owner's late free does nothing
}

TEST_F(Toolkit, CommandResultZeroIsFinalOtherValuesGoToTheDefault) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  seen.clear();
  o->on_command = command_handled;
  EXPECT_EQ(SendMessageA(o->hwnd, WM_COMMAND, 1, 0), 0);
  o->on_command = command_passed_on;
  // The default procedure answers WM_COMMAND with 0, not the handler's 7.
  EXPECT_EQ(SendMessageA(o->hwnd, WM_COMMAND, 1, 0), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"command", "command"}));
  EXPECT_EQ(o->msg, static_cast<UINT>(WM_COMMAND));
  DestroyWindow(o->hwnd);
}

TEST_F(Toolkit, MessagesOutsideTheTableStillUpdateTheFields) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  SendMessageA(o->hwnd, WM_SIZE, 0, MAKELPARAM(120, 80));
  EXPECT_EQ(o->msg, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(o->wparam, 0u);
  EXPECT_EQ(o->lparam, MAKELPARAM(120, 80));
  EXPECT_EQ(o->mouse_x, 0);  // only mouse messages move the stored position
  DestroyWindow(o->hwnd);
}

TEST_F(Toolkit, MoveBeforeAndAfterTheButtonDragWhileItIsHeld) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  o->on_button_down = note_down;
  o->on_button_up = note_up;
  o->on_mouse_move = note_move;
  o->on_drag = note_drag;
  seen.clear();
  SendMessageA(o->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  SendMessageA(o->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(o->button_held, 1);
  EXPECT_EQ(GetCapture(), o->hwnd);
  SendMessageA(o->hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageA(o->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  EXPECT_EQ(o->button_held, 0);
  EXPECT_EQ(GetCapture(), nullptr);
  SendMessageA(o->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(seen, (std::vector<std::string>{"move", "down", "drag", "up", "move"}));

  // With the button held and no drag handler, the move handler is not asked either.
  o->on_drag = nullptr;
  seen.clear();
  SendMessageA(o->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageA(o->hwnd, WM_MOUSEMOVE, MK_LBUTTON, 0);
  SendMessageA(o->hwnd, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"down", "up"}));
  DestroyWindow(o->hwnd);
}

TEST_F(Toolkit, PositionHalvesAreZeroExtended) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
  SendMessageA(o->hwnd, WM_LBUTTONDBLCLK, 0, static_cast<LPARAM>(0xFFFF0005u));
  EXPECT_EQ(o->mouse_x, 5);
  EXPECT_EQ(o->mouse_y, 65535);
  DestroyWindow(o->hwnd);
}

// Counts the paints that reach the dispatcher, then dispatches as usual.
int paints = 0;
LRESULT counting_dispatch(win_obj* obj, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_PAINT) paints++;
  return win_dispatch(obj, m, w, l);
}

void pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

TEST_F(Toolkit, PaintWithoutAHandlerIsValidatedByTheDefault) {
  for (bool with_handler : {true, false}) {
    win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0);
    o->dispatch = counting_dispatch;
    if (!with_handler) o->on_paint = nullptr;
    ShowWindow(o->hwnd, SW_SHOW);
    paints = 0;
    InvalidateRect(o->hwnd, nullptr, TRUE);
    pump();
    // One paint validates the window; an unvalidated one would come back for ever.
    EXPECT_EQ(paints, 1) << (with_handler ? "default handler" : "no handler");
    DestroyWindow(o->hwnd);
  }
}

LRESULT note_command(win_obj* obj) {
  char text[64];
  std::snprintf(text, sizeof text, "command %u %p", static_cast<unsigned>(obj->wparam),
                reinterpret_cast<void*>(obj->lparam));
  seen.push_back(text);
  return 0;
}

std::string command_text(WPARAM w, HWND from) {
  char text[64];
  std::snprintf(text, sizeof text, "command %u %p", static_cast<unsigned>(w),
                static_cast<void*>(from));
  return text;
}

TEST_F(Toolkit, EnterInAnEditControlNotifiesItsParent) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0);
  o->on_command = note_command;
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, o->hwnd, nullptr,
                              win_instance, nullptr);
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 30, 100, 50, o->hwnd,
                              nullptr, win_instance, nullptr);
  HWND button = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 90, 100, 20, o->hwnd,
                                nullptr, win_instance, nullptr);
  ASSERT_TRUE(edit && list && button);
  seen.clear();
  MSG m{};
  m.message = WM_CHAR;
  m.wParam = 13;
  m.hwnd = edit;
  enter_key_filter(&m);
  EXPECT_EQ(seen, std::vector<std::string>{command_text(13, edit)});

  seen.clear();
  for (HWND other : {list, button}) {
    m.hwnd = other;
    enter_key_filter(&m);
  }
  m.hwnd = edit;
  m.message = WM_KEYDOWN;
  m.wParam = VK_RETURN;
  enter_key_filter(&m);
  m.message = WM_CHAR;
  m.wParam = 'a';
  enter_key_filter(&m);
  EXPECT_TRUE(seen.empty());

  // The filter never swallows: the message dispatches to the edit control as usual.
  DestroyWindow(o->hwnd);
}

TEST_F(Toolkit, EnterInAnEditControlWithoutParentNotifiesNobody) {
  win_obj* o = win_create(nullptr, "t", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0);
  o->on_command = note_command;
  HWND lone = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPED, 0, 0, 100, 20, nullptr, nullptr,
                              win_instance, nullptr);
  ASSERT_NE(lone, nullptr);
  seen.clear();
  MSG m{};
  m.message = WM_CHAR;
  m.wParam = 13;
  m.hwnd = lone;
  enter_key_filter(&m);
  EXPECT_TRUE(seen.empty());
  DestroyWindow(lone);
  DestroyWindow(o->hwnd);
}

}  // namespace
