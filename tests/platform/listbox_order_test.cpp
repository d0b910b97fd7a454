// Where the list box puts an item and what it finds, against Windows (and
// Wine where Windows does not say), and the notifications it owes its parent
// whatever its style.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/msg_log.h"

namespace {

constexpr DWORD sorted_style = WS_BORDER | LBS_SORT | LBS_HASSTRINGS;

struct order_fixture : ::testing::Test {
  HWND top = nullptr;
  HWND lb = nullptr;
  void make(DWORD style) {
    top = make_top();
    ASSERT_NE(top, nullptr);
    lb = make_child(top, "LISTBOX", style, 10, 10, 160, 200, "", 7);
    ASSERT_NE(lb, nullptr);
    pump();
    msg_log().clear();
  }
  void TearDown() override {
    if (top) DestroyWindow(top);
  }
  LRESULT add(const char* s) {
    return SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  }
  std::vector<std::string> items() {
    std::vector<std::string> out;
    auto n = static_cast<int>(SendMessageA(lb, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; i++) {
      char buf[64] = "";
      SendMessageA(lb, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
      out.emplace_back(buf);
    }
    return out;
  }
  LRESULT find(UINT msg, int start, const char* s) {
    return SendMessageA(lb, msg, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(s));
  }
};

using strings = std::vector<std::string>;

TEST_F(order_fixture, HyphenAndApostropheWeighLessThanOtherPunctuation) {
  make(sorted_style);
  for (const char* s : {"cop", "co-op", "cob"}) add(s);
  EXPECT_EQ(items(), (strings{"cob", "co-op", "cop"})) << "co-op sorts beside coop";
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  for (const char* s : {"it's", "its", "itch"}) add(s);
  EXPECT_EQ(items(), (strings{"itch", "its", "it's"}))
      << "alike but for the mark: without it first";
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  for (const char* s : {"a_b", "a.b", "ab"}) add(s);
  EXPECT_EQ(items()[2], "ab") << "other punctuation still sorts before letters";
}

// Windows finds the place by halving the list and stops at the first equal
// item it meets, so a third "alpha" lands before the middle one.
TEST_F(order_fixture, AnItemEqualButForCaseGoesBeforeTheEqualItemTheSearchMeets) {
  make(sorted_style);
  EXPECT_EQ(add("alpha"), 0);
  EXPECT_EQ(add("beta"), 1);
  EXPECT_EQ(add("ALPHA"), 0) << "before, not after";
  EXPECT_EQ(add("Alpha"), 1);
  EXPECT_EQ(items(), (strings{"ALPHA", "Alpha", "alpha", "beta"}));
  EXPECT_EQ(add("BETA"), 3) << "before beta, after every alpha";
}

TEST_F(order_fixture, TheEmptyTextIsNeverFound) {
  make(WS_BORDER | LBS_HASSTRINGS);
  add("one");
  add("");
  add("two");
  EXPECT_EQ(find(LB_FINDSTRINGEXACT, -1, ""), LB_ERR) << "though an empty item exists";
  EXPECT_EQ(find(LB_FINDSTRINGEXACT, 0, ""), LB_ERR);
  EXPECT_EQ(find(LB_FINDSTRING, -1, ""), LB_ERR) << "nor as a prefix of every item";
  EXPECT_EQ(find(LB_FINDSTRINGEXACT, -1, "TWO"), 2) << "other texts are still found";
  EXPECT_EQ(find(LB_FINDSTRING, 1, "o"), 0) << "a prefix search wraps round";
}

TEST_F(order_fixture, FocusChangesNotifyTheParentWithoutLbsNotify) {
  make(WS_BORDER | LBS_HASSTRINGS);
  HWND other = make_child(top, "Button", BS_PUSHBUTTON, 10, 220, 60, 24, "ok", 8);
  ASSERT_NE(other, nullptr);
  SetFocus(lb);
  SetFocus(other);
  pump();
  auto got = commands_to(top);
  std::vector<std::pair<WORD, HWND>> want{{LBN_SETFOCUS, lb}, {LBN_KILLFOCUS, lb}};
  EXPECT_EQ(got, want);
  add("x");
  SendMessageA(lb, LB_SETCURSEL, 0, 0);
  pump();
  EXPECT_EQ(commands_to(top).size(), 2u) << "other notifications still need LBS_NOTIFY";
}

TEST(Owner, GetParentOfAnOwnedPopupIsItsOwner) {
  HWND owner = make_top();
  ASSERT_NE(owner, nullptr);
  HWND popup = CreateWindowExA(0, logging_class(), "Popup", WS_POPUP, 10, 10, 100, 80, owner,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetParent(popup), owner);
  EXPECT_EQ(reinterpret_cast<HWND>(GetWindowLongPtrA(popup, GWLP_HWNDPARENT)), owner);
  HWND edit = make_child(popup, "Edit", WS_BORDER, 5, 5, 80, 20, "", 9);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(GetParent(edit), popup) << "a child's parent is still its parent";

  // Windows makes the top-level window the owner when a child is named.
  HWND by_child = CreateWindowExA(0, logging_class(), "Popup", WS_POPUP, 10, 10, 100, 80, edit,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(by_child, nullptr);
  EXPECT_EQ(GetParent(by_child), popup);

  HWND unowned = CreateWindowExA(0, logging_class(), "Popup", WS_POPUP, 10, 10, 100, 80, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(unowned, nullptr);
  EXPECT_EQ(GetParent(unowned), nullptr);
  HWND owned_overlapped = CreateWindowExA(0, logging_class(), "Owned", WS_SYSMENU, 10, 10, 100, 80,
                                          owner, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(owned_overlapped, nullptr);
  EXPECT_EQ(GetParent(owned_overlapped), nullptr) << "only a popup answers with its owner";
  EXPECT_EQ(reinterpret_cast<HWND>(GetWindowLongPtrA(owned_overlapped, GWLP_HWNDPARENT)), owner);
  for (HWND h : {owned_overlapped, unowned, by_child, popup, owner}) DestroyWindow(h);
}

}  // namespace
