// The stand-in's own side, seen through the headless backend: what a window
// shows, input that comes the way a display's does, and the queues' ends.

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/headless.h"
#include "platform/scale.h"
#include "tests/platform/msg_log.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/probe_like.h"

namespace {

constexpr uint32_t probe_blue = 0x7F7FFF;  // 0x00FF7F7F as the screen shows it

void log_probe_like(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  msg_log().push_back(logged{hwnd, msg, wparam, lparam});
  if (msg == WM_DESTROY) msg_log().push_back(logged{hwnd, WM_APP + 9, headless_shown(hwnd), 0});
}

// The probe window's layout: a list box and a button on a blue client area.
struct probe_like : ::testing::Test {
  HWND top = nullptr, lb = nullptr, bt = nullptr;
  int cw = 0, ch = 0;
  void SetUp() override {
    probe_like_hook = log_probe_like;
    top = make_probe_like();
    ASSERT_NE(top, nullptr);
    RECT r;
    GetClientRect(top, &r);
    cw = r.right;
    ch = r.bottom;
    lb = CreateWindowExA(0, "LISTBOX", nullptr, 0x50800043, (cw - 160) / 2, (ch - 200) / 2 - 10,
                         160, 200, top, nullptr, GetModuleHandleA(nullptr), nullptr);
    bt = CreateWindowExA(0, "BUTTON", "Refresh", 0x50000000, (cw - 100) / 2, ch - 30, 100, 20, top,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
    for (const char* s : {"10.0.0.2", "10.0.0.10", "10.0.0.1"})
      SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    ShowWindow(top, SW_SHOWDEFAULT);
    UpdateWindow(top);
    msg_log().clear();
  }
  void TearDown() override {
    if (IsWindow(top)) DestroyWindow(top);
  }
  // Client point of the list box's item i, in the top-level window.
  int item_y(int i) { return (ch - 200) / 2 - 10 + 1 + i * 16 + 8; }
  int list_x() { return (cw - 160) / 2 + 20; }
};

TEST_F(probe_like, ClientAreaIsExactlyWhatWindowsGives) {
  EXPECT_EQ(cw, 234);
  EXPECT_EQ(ch, 271);
}

TEST_F(probe_like, ThePictureShowsBackgroundListAndButton) {
  EXPECT_TRUE(headless_shown(top));
  EXPECT_GT(headless_presents(), 0);
  EXPECT_EQ(headless_pixel(top, 3, 3), probe_blue);
  EXPECT_EQ(headless_pixel(top, cw - 1, ch - 1), probe_blue);
  int lx = (cw - 160) / 2, ly = (ch - 200) / 2 - 10;
  EXPECT_EQ(headless_pixel(top, lx, ly + 50), 0x000000u) << "WS_BORDER: a black line";
  EXPECT_EQ(headless_pixel(top, lx + 150, ly + 100), 0xFFFFFFu) << "list box inside";
  EXPECT_EQ(headless_pixel(top, lx + 1, ly + 1 + 3 * 16 + 1), 0xFFFFFFu) << "below the items";
  int bx = (cw - 100) / 2, by = ch - 30;
  EXPECT_EQ(headless_pixel(top, bx, by), 0xFFFFFFu) << "raised edge: light top-left";
  EXPECT_EQ(headless_pixel(top, bx + 99, by + 19), 0x404040u) << "dark bottom-right";
  EXPECT_EQ(headless_pixel(top, bx + 3, by + 10), 0xD4D0C8u) << "button face";
  int dark = 0;
  for (int x = bx; x < bx + 100; x++) dark += headless_pixel(top, x, by + 10) < 0x808080;
  EXPECT_GT(dark, 5) << "the caption \"Refresh\" is drawn";
}

TEST_F(probe_like, ARealClickAndDoubleClickOnAnItemReachTheParent) {
  headless_click(top, list_x(), item_y(1));
  headless_click(top, list_x(), item_y(1));
  pump();
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
  std::vector<WORD> codes;
  for (auto& c : commands_to(top))
    if (c.second == lb && (c.first == LBN_SELCHANGE || c.first == LBN_DBLCLK))
      codes.push_back(c.first);
  EXPECT_EQ(codes, (std::vector<WORD>{LBN_SELCHANGE, LBN_DBLCLK}));
}

TEST_F(probe_like, ClicksFurtherApartThanTheDoubleClickTimeStaySingle) {
  headless_click(top, list_x(), item_y(0));
  pump();
  std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 50));
  headless_click(top, list_x(), item_y(0));
  pump();
  for (auto& c : commands_to(top)) EXPECT_NE(c.first, LBN_DBLCLK);
}

TEST_F(probe_like, TheButtonLooksPressedWhileHeldAndClicksOnlyWhenReleasedOverIt) {
  int bx = (cw - 100) / 2, by = ch - 30;
  headless_mouse(top, WM_LBUTTONDOWN, bx + 50, by + 10);
  pump();
  EXPECT_EQ(headless_pixel(top, bx, by), 0x404040u) << "sunken while held";
  headless_mouse(top, WM_MOUSEMOVE, bx + 50, by - 40);
  headless_mouse(top, WM_LBUTTONUP, bx + 50, by - 40);
  pump();
  EXPECT_EQ(headless_pixel(top, bx, by), 0xFFFFFFu);
  EXPECT_TRUE(commands_to(top).empty() || commands_to(top).back().first != BN_CLICKED)
      << "released elsewhere: the capture kept the button, and no click";
  headless_click(top, bx + 50, by + 10);
  pump();
  ASSERT_FALSE(commands_to(top).empty());
  EXPECT_EQ(commands_to(top).back(), std::make_pair(static_cast<WORD>(BN_CLICKED), bt));
}

TEST_F(probe_like, ArrowKeysGoToTheListAfterItWasClicked) {
  headless_click(top, list_x(), item_y(0));
  headless_key(top, VK_DOWN, true);
  headless_key(top, VK_DOWN, false);
  pump();
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
}

TEST_F(probe_like, TheCloseBoxDestroysTheWindowHiddenFirst) {
  headless_close(top);
  pump();
  EXPECT_FALSE(IsWindow(top));
  bool seen = false;
  for (const logged& l : msg_log())
    if (l.msg == WM_APP + 9) {
      seen = true;
      EXPECT_EQ(l.wparam, 0u) << "no longer shown when WM_DESTROY runs";
    }
  EXPECT_TRUE(seen);
}

TEST_F(probe_like, AnInvalidatedWindowFromAnotherThreadGetsPainted) {
  // Paint something else first, so that the repaint shows.
  HDC dc = GetDC(top);
  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(top, dc);
  EXPECT_EQ(headless_pixel(top, 2, 2), 0u);
  std::thread t([this] {
    InvalidateRect(top, nullptr, TRUE);
    PostMessageA(top, WM_APP, 0, 0);
  });
  MSG m;
  bool painted = false;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    painted = painted || m.message == WM_PAINT;
    DispatchMessageA(&m);
    if (painted) break;
  }
  t.join();
  EXPECT_EQ(headless_pixel(top, 2, 2), probe_blue);
}

// The rows of a box of the window's pixels that hold ink darker than mid-grey.
std::vector<int> dark_rows(HWND top, RECT box) {
  std::vector<int> rows;
  for (int y = box.top; y < box.bottom; y++) {
    bool dark = false;
    for (int x = box.left; x < box.right && !dark; x++)
      dark = (headless_pixel(top, x, y) & 0xFF) < 0x80;
    if (dark) rows.push_back(y - box.top);
  }
  return rows;
}

TEST_F(probe_like, AnItemsTextSitsInItsRowAsAnEditCentresIt) {
  int lx = (cw - 160) / 2, ly = (ch - 200) / 2 - 10;
  // A borderless edit of one row's height beside the list, showing the first item.
  HWND ed = CreateWindowExA(0, "EDIT", "10.0.0.1", WS_CHILD | WS_VISIBLE, 0, ly + 1, 30, 16, top,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(top);
  std::vector<int> in_list = dark_rows(top, RECT{lx + 2, ly + 1, lx + 40, ly + 17});
  std::vector<int> in_edit = dark_rows(top, RECT{1, ly + 1, 29, ly + 17});
  EXPECT_FALSE(in_list.empty());
  EXPECT_EQ(in_list, in_edit);
  DestroyWindow(ed);
}

TEST_F(probe_like, TheFocusedListShowsADottedRectangleOnItsFirstRow) {
  int lx = (cw - 160) / 2, ly = (ch - 200) / 2 - 10;
  auto top_line = [&] {
    std::vector<uint32_t> line;
    for (int x = lx + 1; x < lx + 159; x++) line.push_back(headless_pixel(top, x, ly + 1));
    return line;
  };
  SetFocus(bt);
  UpdateWindow(top);
  for (uint32_t p : top_line()) EXPECT_EQ(p, 0xFFFFFFu) << "no focus, no outline";
  SetFocus(lb);
  UpdateWindow(top);
  std::vector<uint32_t> line = top_line();
  for (size_t i = 0; i + 1 < line.size(); i += 2) {
    EXPECT_EQ(line[i], 0x000000u) << i;
    EXPECT_EQ(line[i + 1], 0xFFFFFFu) << i + 1;
  }
}

TEST_F(probe_like, TheWheelScrollsTheListUnderThePointerWhateverHasTheFocus) {
  char item[32];
  for (int i = 0; i < 40; i++) {
    snprintf(item, sizeof item, "10.0.4.%d", 100 + i);
    SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SetFocus(bt);
  headless_wheel(top, list_x(), item_y(2), -1);
  pump();
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 3);
  headless_wheel(top, (cw - 100) / 2 + 50, ch - 20, -1);
  headless_wheel(top, 3, 3, -1);
  pump();
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 3) << "over the button or the background";
  EXPECT_EQ(GetFocus(), bt);
}

TEST(Headless, CtrlWithALetterTypesItsControlCharacter) {
  HWND top = make_top();
  ShowWindow(top, SW_SHOW);
  SetFocus(top);
  msg_log().clear();
  headless_key(top, VK_CONTROL, true);
  for (UINT vk : {static_cast<UINT>('A'), static_cast<UINT>('C'), static_cast<UINT>('1')}) {
    headless_key(top, vk, true);
    headless_key(top, vk, false);
  }
  headless_key(top, VK_CONTROL, false);
  pump();
  std::vector<WPARAM> chars;
  for (const logged& l : msg_log())
    if (l.msg == WM_CHAR) chars.push_back(l.wparam);
  EXPECT_EQ(chars, (std::vector<WPARAM>{1, 3})) << "Ctrl+1 types nothing";
  DestroyWindow(top);
}

TEST(Scale, TheDesktopsDpiOrTheUsersChoice) {
  struct row {
    const char* dpi;
    const char* asked;
    int scale;
  } rows[] = {
      {nullptr, nullptr, 1}, {"96", nullptr, 1},  {"143.9", nullptr, 1}, {"144", nullptr, 1},
      {"191", nullptr, 1},   {"192", nullptr, 2}, {"192.0", nullptr, 2}, {"288", nullptr, 3},
      {"junk", nullptr, 1},  {"96", "2", 2},      {"192", "1", 1},       {"192", "0", 2},
      {"96", "2x", 1},       {"96", "-3", 1},     {"96", "9", 1},        {"1e9", nullptr, 8},
  };
  for (const row& r : rows)
    EXPECT_EQ(screen_scale_for(r.dpi, r.asked), r.scale)
        << "Xft.dpi " << (r.dpi ? r.dpi : "(none)") << ", KTA_SCALE "
        << (r.asked ? r.asked : "(none)");
}

TEST(Headless, TypingReachesTheFocusedEdit) {
  HWND top = make_top();
  HWND ed = make_child(top, "EDIT", WS_BORDER, 10, 10, 100, 20);
  ShowWindow(top, SW_SHOW);
  headless_click(top, 20, 20);
  for (UINT vk :
       {static_cast<UINT>('1'), static_cast<UINT>(VK_OEM_PERIOD), static_cast<UINT>('A')}) {
    headless_key(top, vk, true);
    headless_key(top, vk, false);
  }
  headless_key(top, VK_SHIFT, true);
  headless_key(top, 'B', true);
  headless_key(top, 'B', false);
  headless_key(top, VK_SHIFT, false);
  pump();
  char buf[32];
  GetWindowTextA(ed, buf, sizeof buf);
  EXPECT_STREQ(buf, "1.aB");
  DestroyWindow(top);
}

TEST(Headless, GlyphsComeOutWhole) {
  HWND top = make_top();
  make_child(top, "EDIT", 0, 10, 10, 100, 20, "lllll");
  ShowWindow(top, SW_SHOW);
  UpdateWindow(top);
  int stems = 0;  // columns dark from top to bottom: an 'l' is one straight stroke
  for (int x = 10; x < 110; x++) {
    int dark = 0;
    for (int y = 10; y < 30; y++) dark += (headless_pixel(top, x, y) & 0xFF) < 0x60;
    stems += dark >= 7;
  }
  EXPECT_EQ(stems, 5);
  DestroyWindow(top);
}

TEST(Headless, ASendToAWindowWhoseThreadHasEndedReturnsZero) {
  HWND orphan = nullptr;
  std::thread([&] { orphan = make_top(); }).join();
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(SendMessageA(orphan, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_FALSE(PostMessageA(orphan, WM_APP, 0, 0));
}

std::atomic<int> senders_done{0};

TEST(Headless, ThreadsThatOnlySendLeaveNoDescriptorBehind) {
  HWND top = make_top();
  int before = open_descriptor_count();
  std::vector<std::thread> senders;
  for (int i = 0; i < 50; i++)
    senders.emplace_back([top] {
      SendMessageA(top, WM_NULL, 0, 0);
      senders_done++;
    });
  MSG m;
  while (senders_done < 50) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (std::thread& t : senders) t.join();
  EXPECT_EQ(open_descriptor_count(), before) << "each sender's wake-up descriptor is closed";
  DestroyWindow(top);
}

TEST(Headless, TheClassBrushPaintsTheBackground) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = CreateSolidBrush(RGB(1, 2, 3));
  wc.lpszClassName = "KtaBrush";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND h = CreateWindowExA(0, "KtaBrush", "", WS_SYSMENU | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
  UpdateWindow(h);
  EXPECT_EQ(headless_pixel(h, 50, 50), 0x010203u);
  DestroyWindow(h);
}

}  // namespace
