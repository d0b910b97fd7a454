// The keyboard among a window's controls, as IsDialogMessageA gives it to any
// window, what each control keeps for itself, the clipboard in CF_TEXT and a
// ShellExecuteA that can start nothing. The same program runs under Wine.

#include <cstring>
#include <string>

#include "tests/platform/msg_log.h"

namespace {

// Shift held or not, as the thread's key state that IsDialogMessageA reads.
void hold_shift(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

struct dialog_keys : ::testing::Test {
  HWND top = nullptr, list = nullptr, plain = nullptr, button = nullptr, off = nullptr;
  void SetUp() override {
    top = make_top();
    list = make_child(top, "LISTBOX", WS_BORDER | WS_TABSTOP | LBS_NOTIFY, 10, 10, 100, 100);
    plain = make_child(top, "BUTTON", 0, 10, 120, 60, 20, "No stop");
    button = make_child(top, "BUTTON", WS_TABSTOP, 80, 120, 60, 20, "Refresh");
    off = make_child(top, "BUTTON", WS_TABSTOP | WS_DISABLED, 150, 120, 60, 20, "Off");
    ASSERT_TRUE(list && plain && button && off);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("10.0.0.1"));
    ShowWindow(top, SW_SHOW);
    SetFocus(list);
    pump();
    msg_log().clear();
  }
  void TearDown() override {
    hold_shift(false);
    DestroyWindow(top);
  }
  // A key as the loop would take it from the queue, handed to IsDialogMessageA.
  BOOL key(HWND to, UINT vk) {
    MSG m{to, WM_KEYDOWN, vk, 1, 0, {}};
    return IsDialogMessageA(top, &m);
  }
};

TEST_F(dialog_keys, TabAndShiftTabGoRoundTheEnabledTabStops) {
  struct step {
    bool shift;
    HWND dialog_keys::*from;
    HWND dialog_keys::*to;
  } steps[] = {
      {false, &dialog_keys::list, &dialog_keys::button},  // past the button without a stop
      {false, &dialog_keys::button, &dialog_keys::list},  // past the disabled one, round
      {true, &dialog_keys::list, &dialog_keys::button},
      {true, &dialog_keys::button, &dialog_keys::list},
  };
  for (const step& s : steps) {
    hold_shift(s.shift);
    EXPECT_EQ(GetFocus(), this->*s.from);
    EXPECT_TRUE(key(this->*s.from, VK_TAB));
    EXPECT_EQ(GetFocus(), this->*s.to) << (s.shift ? "Shift+Tab" : "Tab");
  }
  EXPECT_EQ(GetNextDlgTabItem(top, nullptr, FALSE), list) << "from nothing, the first";
  EXPECT_EQ(GetNextDlgTabItem(top, plain, FALSE), button) << "from a control without a stop";
}

TEST_F(dialog_keys, EnterAndEscapeBecomeCommandsToTheWindow) {
  EXPECT_TRUE(key(list, VK_RETURN));
  SetFocus(button);
  EXPECT_TRUE(key(button, VK_RETURN));
  EXPECT_TRUE(key(button, VK_ESCAPE));
  // Commands from no control; the list's focus notifications come from it.
  std::vector<WPARAM> ids;
  for (const logged& l : msg_log())
    if (l.hwnd == top && l.msg == WM_COMMAND && !l.lparam) ids.push_back(l.wparam);
  // A plain window has no default button: Enter is IDOK.
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[0], static_cast<WPARAM>(IDOK));
  EXPECT_EQ(ids[1], static_cast<WPARAM>(IDOK)) << "a plain push button is not the default";
  EXPECT_EQ(ids[2], static_cast<WPARAM>(IDCANCEL));
}

TEST_F(dialog_keys, EnterOnTheDefaultButtonClicksIt) {
  HWND def = make_child(top, "BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 80, 150, 60, 20, "Go", 7);
  SetFocus(def);
  msg_log().clear();
  EXPECT_TRUE(key(def, VK_RETURN));
  auto cmds = commands_to(top);
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0], std::make_pair(static_cast<WORD>(BN_CLICKED), def));
}

TEST_F(dialog_keys, ArrowsReachTheListAndOtherWindowsAreNotTheDialogs) {
  EXPECT_TRUE(key(list, VK_DOWN));
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 0) << "the list box wants its arrows";
  HWND other = make_top();
  MSG m{other, WM_KEYDOWN, VK_TAB, 1, 0, {}};
  EXPECT_FALSE(IsDialogMessageA(top, &m));
  EXPECT_EQ(GetFocus(), list);
  DestroyWindow(other);
}

TEST(dialog_codes, EachControlKeepsTheKeysItNeeds) {
  HWND top = make_top();
  struct row {
    const char* cls;
    DWORD style;
    LRESULT want;
  } rows[] = {
      {"LISTBOX", LBS_NOTIFY, DLGC_WANTARROWS | DLGC_WANTCHARS},
      {"BUTTON", BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
      {"BUTTON", BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
      {"EDIT", 0, DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL},
  };
  for (const row& r : rows) {
    HWND c = make_child(top, r.cls, r.style, 0, 0, 50, 50);
    EXPECT_EQ(SendMessageA(c, WM_GETDLGCODE, 0, 0), r.want) << r.cls << " style " << r.style;
  }
  DestroyWindow(top);
}

std::string clipboard_text() {
  std::string out = "(not open)";
  if (!OpenClipboard(nullptr)) return out;
  HANDLE h = GetClipboardData(CF_TEXT);
  const char* p = h ? static_cast<const char*>(GlobalLock(h)) : nullptr;
  out = p ? p : "(none)";
  if (p) GlobalUnlock(h);
  CloseClipboard();
  return out;
}

TEST(clipboard, TextSetIsTheTextGotAndTheWindowOwnsIt) {
  HWND top = make_top();
  const char text[] = "10.77.0.10";
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  ASSERT_NE(mem, nullptr);
  std::memcpy(GlobalLock(mem), text, sizeof text);
  GlobalUnlock(mem);
  EXPECT_EQ(SetClipboardData(CF_TEXT, mem), nullptr) << "not open: refused";
  ASSERT_TRUE(OpenClipboard(top));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, mem), mem);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard()) << "closed already";
  EXPECT_EQ(GetClipboardOwner(), top);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(clipboard_text(), "10.77.0.10");

  ASSERT_TRUE(OpenClipboard(top));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT)) << "emptied";
  DestroyWindow(top);
}

TEST(shell_execute, AProgramThatIsNowhereStartsNothingAndSaysSo) {
  auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(
      nullptr, "open", "C:\\No Such Folder\\no-such-program.exe", "x", nullptr, SW_SHOW));
  EXPECT_LE(r, 32);
}

}  // namespace
