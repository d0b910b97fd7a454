// Windows and classes: creation and destruction order, window words, class
// names, parents, the client area, closing.

#include <cstring>
#include <vector>

#include "tests/platform/msg_log.h"

namespace {

// Windows also sends the size and frame messages of a new window; the stand-in
// sends only those that the tool's windows act on.
static const message create_top_with_two_children_seq[] = {
    {0, WM_GETMINMAXINFO, sent | parent | optional},
    {0, WM_NCCREATE, sent | parent},
    {0, WM_NCCALCSIZE, sent | parent | optional},
    {0, WM_CREATE, sent | parent},
    {0, WM_SIZE, sent | parent | optional},
    {0, WM_MOVE, sent | parent | optional},
    {1, WM_NCCREATE, sent},
    {1, WM_NCCALCSIZE, sent | optional},
    {1, WM_CREATE, sent},
    {1, WM_SIZE, sent | optional},
    {1, WM_MOVE, sent | optional},
    {0, WM_PARENTNOTIFY, sent | parent | wparam, MAKEWPARAM(WM_CREATE, 0)},
    {1, WM_SHOWWINDOW, sent | optional},
    {1, WM_WINDOWPOSCHANGING, sent | optional},
    {1, WM_WINDOWPOSCHANGED, sent | optional},
    {2, WM_NCCREATE, sent},
    {2, WM_NCCALCSIZE, sent | optional},
    {2, WM_CREATE, sent},
    {2, WM_SIZE, sent | optional},
    {2, WM_MOVE, sent | optional},
    {0, WM_PARENTNOTIFY, sent | parent | wparam, MAKEWPARAM(WM_CREATE, 0)},
    {2, WM_SHOWWINDOW, sent | optional},
    {2, WM_WINDOWPOSCHANGING, sent | optional},
    {2, WM_WINDOWPOSCHANGED, sent | optional},
};

static const message destroy_top_with_two_children_seq[] = {
    {0, WM_DESTROY, sent | parent}, {1, WM_DESTROY, sent},   {2, WM_DESTROY, sent},
    {1, WM_NCDESTROY, sent},        {2, WM_NCDESTROY, sent}, {0, WM_NCDESTROY, sent | parent},
};

TEST(Window, CreationAndDestructionOfATopLevelWindowWithTwoChildren) {
  msg_log().clear();
  HWND top = make_top();
  ASSERT_NE(top, nullptr);
  HWND a = make_child(top, logging_class(), 0, 10, 10, 50, 20);
  HWND b = make_child(top, logging_class(), 0, 10, 40, 50, 20);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::vector<HWND> who{top, a, b};
  ok_sequence(create_top_with_two_children_seq, who,
              "creation: each window hears of itself before CreateWindowExA returns");

  msg_log().clear();
  EXPECT_TRUE(DestroyWindow(top));
  ok_sequence(destroy_top_with_two_children_seq, who,
              "destruction: WM_DESTROY parent first, WM_NCDESTROY children first, parent last");
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(b));
  EXPECT_FALSE(DestroyWindow(top)) << "a dead handle stays dead";
}

// A visible child is hidden first, as DestroyWindow hides every window.
static const message destroy_one_child_seq[] = {
    {0, WM_PARENTNOTIFY, sent | parent | wparam, MAKEWPARAM(WM_DESTROY, 0)},
    {1, WM_SHOWWINDOW, sent | optional},
    {1, WM_WINDOWPOSCHANGING, sent | optional},
    {1, WM_WINDOWPOSCHANGED, sent | optional},
    {1, WM_DESTROY, sent},
    {1, WM_NCDESTROY, sent},
};

TEST(Window, DestroyingOneChildNotifiesTheParentAndLeavesItsSibling) {
  HWND top = make_top();
  HWND a = make_child(top, logging_class(), 0, 0, 0, 10, 10);
  HWND b = make_child(top, logging_class(), 0, 0, 20, 10, 10);
  msg_log().clear();
  EXPECT_TRUE(DestroyWindow(a));
  ok_sequence(destroy_one_child_seq, {top, a}, "a child destroyed alone");
  EXPECT_TRUE(IsWindow(b));
  EXPECT_EQ(GetParent(b), top);
  DestroyWindow(top);
}

LONG_PTR word_at_nccreate = -1;

LRESULT CALLBACK word_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) word_at_nccreate = GetWindowLongPtrA(hwnd, 0);
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

TEST(Window, ExtraWindowWordIsZeroUntilSetAndHoldsAPointer) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = word_proc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KtaWord";
  ASSERT_NE(RegisterClassA(&wc), 0);
  EXPECT_EQ(RegisterClassA(&wc), 0) << "a class name is registered once";
  HWND h = CreateWindowExA(0, "KtaWord", "w", WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(word_at_nccreate, 0);
  EXPECT_EQ(GetWindowLongPtrA(h, 0), 0);
  static int object;
  auto p = reinterpret_cast<LONG_PTR>(&object);
  EXPECT_EQ(SetWindowLongPtrA(h, 0, p), 0) << "the old value comes back";
  EXPECT_EQ(GetWindowLongPtrA(h, 0), p) << "all pointer bits kept";
  EXPECT_EQ(SetWindowLongPtrA(h, 0, 0), p);
  DestroyWindow(h);
}

TEST(Window, ClassNamesAreThoseWindowsReports) {
  HWND top = make_top();
  HWND lb = make_child(top, "LISTBOX", 0, 0, 0, 50, 50);
  HWND bt = make_child(top, "BUTTON", 0, 0, 60, 50, 20, "Go");
  HWND ed = make_child(top, "edit", 0, 0, 90, 50, 20);
  char name[128];
  EXPECT_EQ(GetClassNameA(lb, name, sizeof name), 7);
  EXPECT_STREQ(name, "ListBox");
  GetClassNameA(bt, name, sizeof name);
  EXPECT_STREQ(name, "Button");
  GetClassNameA(ed, name, sizeof name);
  EXPECT_STREQ(name, "Edit");
  GetClassNameA(top, name, sizeof name);
  EXPECT_STREQ(name, "KtaLoggingParent");
  EXPECT_EQ(GetClassNameA(lb, name, 4), 3) << "truncated to the buffer, terminated";
  EXPECT_STREQ(name, "Lis");
  EXPECT_EQ(GetParent(lb), top);
  EXPECT_EQ(GetParent(top), nullptr);
  DestroyWindow(top);
  EXPECT_EQ(GetClassNameA(lb, name, sizeof name), 0) << "no name for a dead window";
}

// The atom RegisterClassA answers names its class as well as the name does.
TEST(Window, AWindowMadeByItsClassAtomIsOfThatClass) {
  ATOM atoms[2] = {};
  const char* names[2] = {"KtaAtomFirst", "KtaAtomSecond"};
  for (int i = 0; i < 2; ++i) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = names[i];
    atoms[i] = RegisterClassA(&wc);
    ASSERT_NE(atoms[i], 0);
  }
  EXPECT_NE(atoms[0], atoms[1]);
  for (int i = 1; i >= 0; --i) {
    HWND w = CreateWindowExA(0, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(atoms[i])), "atom",
                             WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr) << names[i];
    char name[64];
    GetClassNameA(w, name, sizeof name);
    EXPECT_STREQ(name, names[i]);
    DestroyWindow(w);
  }
}

TEST(Window, SysmenuWindowOf240By300HasTheClientAreaOfCaptionAndThinFrame) {
  HWND top = make_top(240, 300);
  RECT r;
  ASSERT_TRUE(GetClientRect(top, &r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_NEAR(r.right, 234, 4);
  EXPECT_NEAR(r.bottom, 271, 8);
  DestroyWindow(top);
}

static const message close_through_default_seq[] = {
    {0, WM_CLOSE, sent | parent},
    {0, WM_DESTROY, sent | parent | defwinproc},
    {0, WM_NCDESTROY, sent | parent | defwinproc},
};

TEST(Window, CloseThroughDefWindowProcDestroysTheWindow) {
  HWND top = make_top();
  HWND child = make_child(top, "BUTTON", 0, 0, 0, 10, 10);
  msg_log().clear();
  EXPECT_EQ(SendMessageA(top, WM_CLOSE, 0, 0), 0);
  ok_sequence(close_through_default_seq, {top}, "close");
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
}

TEST(Window, TextOfAWindowAndAControl) {
  HWND top = make_top();
  char buf[64];
  EXPECT_EQ(GetWindowTextA(top, buf, sizeof buf), 11);
  EXPECT_STREQ(buf, "Conformance");
  EXPECT_EQ(SendMessageA(top, WM_GETTEXTLENGTH, 0, 0), 11);
  EXPECT_EQ(SendMessageA(top, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buf)), 4);
  EXPECT_STREQ(buf, "Conf");
  HWND bt = make_child(top, "Button", 0, 0, 0, 10, 10, "Refresh");
  GetWindowTextA(bt, buf, sizeof buf);
  EXPECT_STREQ(buf, "Refresh");
  DestroyWindow(top);
}

TEST(Window, UnknownClassOrBadParentGivesNoWindow) {
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_SYSMENU, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr),
            nullptr);
  HWND top = make_top();
  HWND child = make_child(top, "Button", 0, 0, 0, 10, 10);
  DestroyWindow(top);
  EXPECT_EQ(make_child(child, "Button", 0, 0, 0, 10, 10), nullptr) << "parent is gone";
}

TEST(Window, StockObjectsAndBrushes) {
  HBRUSH b = CreateSolidBrush(RGB(127, 127, 255));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(RGB(127, 127, 255), 0x00FF7F7Fu);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH))) << "deleting a stock object is harmless";
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
}

// EnableWindow answers whether the window was disabled before, not what it is now.
TEST(Window, EnableWindowAnswersWhetherTheWindowWasDisabled) {
  HWND top = make_top();
  EXPECT_FALSE(EnableWindow(top, FALSE)) << "it was enabled";
  EXPECT_TRUE(EnableWindow(top, FALSE)) << "it was disabled";
  EXPECT_FALSE(IsWindowEnabled(top));
  EXPECT_TRUE(EnableWindow(top, TRUE)) << "it was disabled";
  EXPECT_FALSE(EnableWindow(top, TRUE)) << "it was enabled";
  EXPECT_TRUE(IsWindowEnabled(top));
  DestroyWindow(top);
}

// The child that goes is hidden with WM_SHOWWINDOW's FALSE; its WM_DESTROY
// and WM_NCDESTROY carry nothing.
TEST(Window, TheMessagesOfAChildsDestructionCarryWhatWindowsGives) {
  HWND top = make_top();
  HWND a = make_child(top, logging_class(), 0, 0, 0, 10, 10);
  msg_log().clear();
  EXPECT_TRUE(DestroyWindow(a));
  int ends = 0;
  for (const logged& l : msg_log()) {
    if (l.hwnd != a) continue;
    if (l.msg == WM_SHOWWINDOW) {
      EXPECT_EQ(l.wparam, WPARAM{FALSE}) << "hidden, not shown";
    }
    if (l.msg == WM_DESTROY || l.msg == WM_NCDESTROY) {
      ends++;
      EXPECT_EQ(l.wparam, WPARAM{0}) << msg_name(l.msg);
      EXPECT_EQ(l.lparam, LPARAM{0}) << msg_name(l.msg);
    }
  }
  EXPECT_EQ(ends, 2);
  DestroyWindow(top);
}

// ShowWindow tells the window first, with TRUE to show and FALSE to hide.
TEST(Window, ShowWindowSendsWmShowWindowWithWhatItDoes) {
  HWND top = make_top();
  HWND a = make_child(top, logging_class(), 0, 0, 0, 10, 10);
  auto shows = [](HWND hwnd) {
    std::vector<WPARAM> out;
    for (const logged& l : msg_log())
      if (l.hwnd == hwnd && l.msg == WM_SHOWWINDOW) out.push_back(l.wparam);
    return out;
  };
  msg_log().clear();
  ShowWindow(a, SW_HIDE);
  EXPECT_EQ(shows(a), std::vector<WPARAM>{FALSE});
  msg_log().clear();
  ShowWindow(top, SW_SHOW);
  EXPECT_EQ(shows(top), std::vector<WPARAM>{TRUE});
  DestroyWindow(top);
}

}  // namespace
