// A parent's pending update region only grows when a child leaves: an area
// invalidated before a child is hidden or destroyed is still painted.

#include <gtest/gtest.h>

#include <vector>

#include "tests/platform/msg_log.h"

namespace {

// What the parent was asked to paint, as the bounding rectangles of its
// WM_PAINTs since the last clear.
std::vector<RECT>& painted() {
  static std::vector<RECT> p;
  return p;
}

int erased = 0;  // WM_ERASEBKGNDs since the last clear

LRESULT CALLBACK painting_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_ERASEBKGND) erased++;
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    painted().push_back(ps.rcPaint);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

const char* painting_class() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = painting_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KtaPainting";
    RegisterClassA(&wc);
    return "KtaPainting";
  }();
  return name;
}

bool covered(const RECT& r) {
  for (const RECT& p : painted())
    if (p.left <= r.left && p.top <= r.top && p.right >= r.right && p.bottom >= r.bottom)
      return true;
  return false;
}

struct update_fixture : ::testing::Test {
  HWND top = nullptr;
  HWND child = nullptr;
  const RECT corner{0, 0, 20, 20};  // invalidated by hand, away from the child
  const RECT where_child{100, 120, 160, 170};
  void SetUp() override {
    top = CreateWindowExA(0, painting_class(), "Update", WS_POPUP | WS_VISIBLE, 50, 50, 240, 240,
                          nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(top, nullptr);
    child = make_child(top, "Button", BS_PUSHBUTTON, where_child.left, where_child.top,
                       where_child.right - where_child.left, where_child.bottom - where_child.top,
                       "x", 3);
    ASSERT_NE(child, nullptr);
    UpdateWindow(top);
    pump();
    painted().clear();
    erased = 0;
  }
  void TearDown() override { DestroyWindow(top); }
};

TEST_F(update_fixture, HidingAChildAddsItsAreaToWhatWasPending) {
  InvalidateRect(top, &corner, TRUE);
  ShowWindow(child, SW_HIDE);
  pump();
  EXPECT_TRUE(covered(corner)) << "the area invalidated before the hide is painted";
  EXPECT_TRUE(covered(where_child)) << "and where the child was";
}

TEST_F(update_fixture, DestroyingAChildAddsItsAreaToWhatWasPending) {
  InvalidateRect(top, &corner, TRUE);
  DestroyWindow(child);
  pump();
  EXPECT_TRUE(covered(corner));
  EXPECT_TRUE(covered(where_child));
}

TEST_F(update_fixture, TwoChildrenHiddenInTurnAreBothRepainted) {
  HWND other = make_child(top, "Button", BS_PUSHBUTTON, 10, 60, 50, 30, "y", 4);
  ASSERT_NE(other, nullptr);
  UpdateWindow(top);
  pump();
  painted().clear();
  ShowWindow(other, SW_HIDE);
  ShowWindow(child, SW_HIDE);
  pump();
  EXPECT_TRUE(covered(RECT{10, 60, 60, 90}));
  EXPECT_TRUE(covered(where_child));
}

TEST_F(update_fixture, AnAreaInvalidatedWithoutErasingIsPaintedWithoutErasing) {
  InvalidateRect(top, &corner, TRUE);
  UpdateWindow(top);
  EXPECT_EQ(erased, 1) << "asked to erase";
  erased = 0;
  InvalidateRect(top, &corner, FALSE);
  UpdateWindow(top);
  EXPECT_TRUE(covered(corner));
  EXPECT_EQ(erased, 0) << "the erase of the paint before is not asked again";
}

TEST_F(update_fixture, WhereADestroyedChildWasIsErased) {
  DestroyWindow(child);
  UpdateWindow(top);
  EXPECT_TRUE(covered(where_child));
  EXPECT_GE(erased, 1) << "the parent's background shows through there";
}

}  // namespace
