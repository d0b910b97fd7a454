// The list box, the push button and the edit control, driven through their
// messages as a user's clicks and keys would arrive.

#include <cstdio>
#include <string>

#include "tests/platform/msg_log.h"
#include "tests/testing/wine.h"

namespace {

constexpr DWORD probe_list_style =
    0x50800043;  // WS_CHILD|WS_VISIBLE|WS_BORDER|LBS_NOTIFY|LBS_SORT|LBS_HASSTRINGS

struct list_fixture : ::testing::Test {
  HWND top = nullptr;
  HWND lb = nullptr;
  void SetUp() override {
    top = make_top();
    lb = CreateWindowExA(0, "LISTBOX", nullptr, probe_list_style, 37, 25, 160, 200, top,
                         reinterpret_cast<HMENU>(5), GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(lb, nullptr);
    pump();
    msg_log().clear();
  }
  void TearDown() override { DestroyWindow(top); }
  LRESULT add(const char* s) {
    return SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  }
  std::string text(int i) {
    char buf[64] = "";
    SendMessageA(lb, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
    return buf;
  }
  LPARAM item_point(int i) {
    auto h = static_cast<int>(SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0));
    return MAKELPARAM(10, i * h + h / 2);
  }
};

TEST_F(list_fixture, SortsAsWindowsCompares) {
  for (const char* s : {"10.0.0.2", "10.0.0.12", "10.0.0.10", "10.0.0.1"}) add(s);
  EXPECT_EQ(text(0), "10.0.0.1");
  EXPECT_EQ(text(1), "10.0.0.10");
  EXPECT_EQ(text(2), "10.0.0.12");
  EXPECT_EQ(text(3), "10.0.0.2");
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(add("beta"), 0);
  EXPECT_EQ(add("Alpha"), 0) << "the index where it went";
  EXPECT_EQ(add("alpha2"), 1);
  EXPECT_EQ(text(0), "Alpha");
  EXPECT_EQ(text(2), "beta");
}

TEST_F(list_fixture, QueriesAndTheirErrors) {
  EXPECT_EQ(SendMessageA(lb, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "no selection";
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 0, 0), LB_ERR) << "empty list";
  for (const char* s : {"10.0.0.5", "10.0.0.7", "10.0.0.6"}) add(s);
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
  char buf[64];
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_STREQ(buf, "10.0.0.6");
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXTLEN, 2, 0), 8);
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(buf)), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXTLEN, -1, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 9, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR)
      << "-1 clears the selection and still answers LB_ERR";
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR);

  auto find = [&](int start, const char* s) {
    return SendMessageA(lb, LB_FINDSTRINGEXACT, static_cast<WPARAM>(start),
                        reinterpret_cast<LPARAM>(s));
  };
  EXPECT_EQ(find(-1, "10.0.0.7"), 2);
  EXPECT_EQ(find(-1, "10.0.0"), LB_ERR) << "whole text only";
  EXPECT_EQ(find(-1, "10.0.0.77"), LB_ERR);
  EXPECT_EQ(find(2, "10.0.0.7"), 2) << "the search wraps round to the start item";
  EXPECT_EQ(find(0, "10.0.0.5"), 0);

  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 0, 0), 0);
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "emptying drops the selection";
  EXPECT_EQ(find(-1, "10.0.0.5"), LB_ERR);
}

TEST_F(list_fixture, AClickSelectsAndADoubleClickNotifiesTheParent) {
  for (const char* s : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) add(s);
  PostMessageA(lb, WM_LBUTTONDOWN, MK_LBUTTON, item_point(1));
  PostMessageA(lb, WM_LBUTTONUP, 0, item_point(1));
  pump();
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
  PostMessageA(lb, WM_LBUTTONDBLCLK, MK_LBUTTON, item_point(1));
  PostMessageA(lb, WM_LBUTTONUP, 0, item_point(1));
  pump();
  // A selection change first, then exactly one double-click; how many changes
  // one click reports is not what this checks.
  int changes_before = 0, dblclks = 0;
  for (auto& c : commands_to(top)) {
    if (c.first == LBN_SELCHANGE && dblclks == 0) changes_before++;
    if (c.first == LBN_DBLCLK) {
      dblclks++;
      EXPECT_EQ(c.second, lb) << "the list box in lParam";
    }
  }
  EXPECT_GE(changes_before, 1);
  EXPECT_EQ(dblclks, 1);
  for (const logged& l : msg_log()) {
    if (l.msg == WM_COMMAND) {
      EXPECT_EQ(LOWORD(l.wparam), 5) << "the control's id in the low word";
    }
  }
}

TEST_F(list_fixture, ArrowKeysMoveTheSelectionAndNotify) {
  for (const char* s : {"a", "b", "c", "d"}) add(s);
  SendMessageA(lb, LB_SETCURSEL, 0, 0);
  SendMessageA(lb, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageA(lb, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2);
  SendMessageA(lb, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
  SendMessageA(lb, WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 3);
  int changes = 0;
  for (auto& c : commands_to(top)) changes += c.first == LBN_SELCHANGE;
  EXPECT_EQ(changes, 4) << "one per move that changed the selection";
}

TEST_F(list_fixture, AnArrowKeyThatCannotMoveNotifiesNothing) {
  // Windows sends it regardless only for multiple-selection list boxes.
  int want = known_wine_difference(
                 "LBN_SELCHANGE also for a single-selection list box's arrow "
                 "key that leaves the selection as it was")
                 ? 1
                 : 0;
  for (const char* s : {"a", "b"}) add(s);
  SendMessageA(lb, LB_SETCURSEL, 1, 0);
  SendMessageA(lb, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1) << "stops at the last item";
  int changes = 0;
  for (auto& c : commands_to(top)) changes += c.first == LBN_SELCHANGE;
  EXPECT_EQ(changes, want);
}

TEST_F(list_fixture, TheContentScrollsToKeepTheSelectionInView) {
  char item[32];
  for (int i = 0; i < 40; i++) {
    snprintf(item, sizeof item, "10.0.1.%d", 100 + i);
    add(item);
  }
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 0);
  SendMessageA(lb, LB_SETCURSEL, 0, 0);
  SendMessageA(lb, WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 39);
  LRESULT top_index = SendMessageA(lb, LB_GETTOPINDEX, 0, 0);
  RECT r;
  GetClientRect(lb, &r);
  auto rows = r.bottom / SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0);
  EXPECT_EQ(top_index, 40 - rows) << "the last item shows at the bottom";
  SendMessageA(lb, WM_KEYDOWN, VK_HOME, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 0);
}

struct button_fixture : ::testing::Test {
  HWND top = nullptr;
  HWND bt = nullptr;
  void SetUp() override {
    top = make_top();
    bt = make_child(top, "BUTTON", 0, 67, 241, 100, 20, "Refresh");
    ASSERT_NE(bt, nullptr);
    pump();
    msg_log().clear();
  }
  void TearDown() override { DestroyWindow(top); }
  int clicks() {
    int n = 0;
    for (auto& c : commands_to(top)) n += c.first == BN_CLICKED && c.second == bt;
    return n;
  }
};

TEST_F(button_fixture, BmClickNotifiesTheParent) {
  SendMessageA(bt, BM_CLICK, 0, 0);
  EXPECT_EQ(clicks(), 1);
}

TEST_F(button_fixture, AClickIsReportedOnReleaseInsideTheButton) {
  SendMessageA(bt, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_TRUE(SendMessageA(bt, BM_GETSTATE, 0, 0) & BST_PUSHED) << "pressed while held";
  EXPECT_EQ(clicks(), 0);
  SendMessageA(bt, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_FALSE(SendMessageA(bt, BM_GETSTATE, 0, 0) & BST_PUSHED);
  EXPECT_EQ(clicks(), 1);
  SendMessageA(bt, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(bt, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 5));
  SendMessageA(bt, WM_LBUTTONUP, 0, MAKELPARAM(300, 5));
  EXPECT_EQ(clicks(), 1) << "released outside: no click";
}

TEST_F(button_fixture, SpaceClicksOnRelease) {
  SendMessageA(bt, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(clicks(), 0);
  SendMessageA(bt, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(clicks(), 1);
}

TEST(Edit, TypingBackspaceAndText) {
  HWND top = make_top();
  HWND ed = make_child(top, "EDIT", WS_BORDER, 10, 10, 100, 20);
  ASSERT_NE(ed, nullptr);
  for (char c : std::string("10.0.0.55"))
    SendMessageA(ed, WM_CHAR, static_cast<unsigned char>(c), 1);
  SendMessageA(ed, WM_CHAR, '\b', 1);
  SendMessageA(ed, WM_CHAR, '\r', 1);
  char buf[64];
  EXPECT_EQ(SendMessageA(ed, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_STREQ(buf, "10.0.0.5") << "backspace took the last digit, Enter added nothing";
  EXPECT_TRUE(SendMessageA(ed, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc")));
  EXPECT_EQ(SendMessageA(ed, WM_GETTEXTLENGTH, 0, 0), 3);
  SendMessageA(ed, WM_CHAR, '\b', 1);
  GetWindowTextA(ed, buf, sizeof buf);
  EXPECT_STREQ(buf, "abc") << "the caret went to the start with the new text";
  DestroyWindow(top);
}

}  // namespace

namespace {

// A click on the first row, and the keys with nothing selected yet: where
// the selection goes, and that the parent hears of it.
TEST_F(list_fixture, TheFirstRowAndTheKeysFromNoSelectionSelect) {
  for (const char* s : {"a", "b", "c"}) add(s);
  struct row {
    const char* what;
    UINT msg;
    WPARAM wp;
    LRESULT sel;
  } rows[] = {
      {"a click on the first row", WM_LBUTTONDOWN, MK_LBUTTON, 0},
      {"Down with nothing selected", WM_KEYDOWN, VK_DOWN, 0},
      {"Up with nothing selected", WM_KEYDOWN, VK_UP, 0},
      {"End with nothing selected", WM_KEYDOWN, VK_END, 0},
  };
  for (const row& r : rows) {
    SendMessageA(lb, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    msg_log().clear();
    SendMessageA(lb, r.msg, r.wp, r.msg == WM_KEYDOWN ? 1 : item_point(0));
    if (r.msg == WM_LBUTTONDOWN) SendMessageA(lb, WM_LBUTTONUP, 0, item_point(0));
    EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), r.sel) << r.what;
    auto cmds = commands_to(top);
    bool changed = false;
    for (auto& c : cmds) changed = changed || c.first == LBN_SELCHANGE;
    EXPECT_TRUE(changed) << r.what << ": LBN_SELCHANGE";
  }
}

TEST_F(list_fixture, TheTopIndexFollowsTheLastRowsWhenTheyGo) {
  char item[32];
  for (int i = 0; i < 40; i++) {
    snprintf(item, sizeof item, "10.0.2.%d", 100 + i);
    add(item);
  }
  RECT r;
  GetClientRect(lb, &r);
  auto rows = static_cast<int>(r.bottom / SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0));
  SendMessageA(lb, LB_SETTOPINDEX, 39, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 40 - rows) << "no further than a full page";
  for (int i = 39; i >= 30; i--) SendMessageA(lb, LB_DELETESTRING, i, 0);
  int want = known_wine_difference(
                 "the top index stays where it was when the last rows are deleted, leaving rows "
                 "empty below the last item")
                 ? 40 - rows
                 : 30 - rows;
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), want) << "the page ends at the last row";
}

// Wine's test_missing_lbuttonup: the focus goes while the button is held.
TEST_F(list_fixture, AFocusLossDuringAPressEndsItAndReportsTheSelection) {
  for (const char* s : {"a", "b"}) add(s);
  SetFocus(lb);
  SendMessageA(lb, WM_LBUTTONDOWN, 0, item_point(1));
  EXPECT_EQ(GetCapture(), lb);
  msg_log().clear();
  SetFocus(nullptr);
  EXPECT_EQ(GetCapture(), nullptr) << "the capture is released";
  std::vector<WORD> codes;
  for (auto& c : commands_to(top)) codes.push_back(c.first);
  EXPECT_EQ(codes, (std::vector<WORD>{LBN_SELCHANGE, LBN_KILLFOCUS}));
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
}

TEST_F(list_fixture, ADoubleClickOnAnEmptyListNotifiesNothing) {
  int want = known_wine_difference("LBN_DBLCLK also from a list box without items") ? 1 : 0;
  SendMessageA(lb, WM_LBUTTONDOWN, 0, item_point(0));
  SendMessageA(lb, WM_LBUTTONUP, 0, item_point(0));
  SendMessageA(lb, WM_LBUTTONDBLCLK, 0, item_point(0));
  SendMessageA(lb, WM_LBUTTONUP, 0, item_point(0));
  int dblclks = 0;
  for (auto& c : commands_to(top)) {
    dblclks += c.first == LBN_DBLCLK;
    EXPECT_NE(c.first, LBN_SELCHANGE);
  }
  EXPECT_EQ(dblclks, want);
}

TEST_F(list_fixture, APrefixSearchPassesOverABracketAndABracketDash) {
  for (const char* s : {"[-c-]", "[docs]", "alpha", "[x"}) add(s);
  auto at = [this](const char* item) {
    return SendMessageA(lb, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(item));
  };
  struct row {
    const char* text;
    const char* found;  // null: nothing
  } rows[] = {
      {"c", "[-c-]"},     // past "[-"
      {"[-c", "[-c-]"},   // and as it stands
      {"doc", "[docs]"},  // past "["
      {"-c", "[-c-]"},    // past "[" alone too
      {"al", "alpha"},   {"x", "[x"}, {"ocs", nullptr},
  };
  for (const row& r : rows)
    EXPECT_EQ(
        SendMessageA(lb, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(r.text)),
        r.found ? at(r.found) : LB_ERR)
        << r.text;
  EXPECT_EQ(SendMessageA(lb, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("docs]")),
            LB_ERR)
      << "a whole-text search takes the text as it stands";
}

TEST_F(list_fixture, TheWheelScrollsThreeRowsANotch) {
  char item[32];
  for (int i = 0; i < 40; i++) {
    snprintf(item, sizeof item, "10.0.3.%d", 100 + i);
    add(item);
  }
  SendMessageA(lb, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 3);
  SendMessageA(lb, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 9);
  SendMessageA(lb, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * 5), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 0) << "no higher than the first row";
}

}  // namespace

namespace {

TEST_F(list_fixture, DownFromTheLastRowInViewScrollsByOne) {
  char item[32];
  for (int i = 0; i < 40; i++) {
    snprintf(item, sizeof item, "10.0.5.%d", 100 + i);
    add(item);
  }
  RECT r;
  GetClientRect(lb, &r);
  auto rows = static_cast<int>(r.bottom / SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0));
  SendMessageA(lb, LB_SETCURSEL, rows - 1, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 0) << "the last row in view needs no scroll";
  SendMessageA(lb, WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), rows);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 1);
}

TEST_F(list_fixture, TheFirstItemCanBeDeleted) {
  for (const char* s : {"a", "b"}) add(s);
  EXPECT_EQ(SendMessageA(lb, LB_DELETESTRING, 0, 0), 1) << "the count left";
  EXPECT_EQ(text(0), "b");
  EXPECT_EQ(SendMessageA(lb, LB_DELETESTRING, 1, 0), LB_ERR);
}

TEST_F(list_fixture, ADragAcrossRowsIsReportedOnceTheButtonComesUp) {
  for (const char* s : {"a", "b", "c"}) add(s);
  SendMessageA(lb, WM_LBUTTONDOWN, MK_LBUTTON, item_point(0));
  SendMessageA(lb, WM_MOUSEMOVE, MK_LBUTTON, item_point(1));
  SendMessageA(lb, WM_MOUSEMOVE, MK_LBUTTON, item_point(2));
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2) << "the selection follows the drag";
  for (auto& c : commands_to(top)) EXPECT_NE(c.first, LBN_SELCHANGE) << "not while it is held";
  SendMessageA(lb, WM_LBUTTONUP, 0, item_point(2));
  int changes = 0;
  for (auto& c : commands_to(top)) changes += c.first == LBN_SELCHANGE;
  EXPECT_EQ(changes, 1);
}

}  // namespace
