// The probe window on the headless backend with a real channel in the lab:
// simulated devices answer from lab addresses, the test is the message loop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/probe.h"
#include "app/probe_window.h"
#include "net/bcast.h"
#include "net/ip.h"
#include "platform/headless.h"
#include "support/thread.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fake_devices.h"
#include "tests/testing/headless.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/thread_limit.h"

namespace {

using namespace std::chrono_literals;

class ProbeWindow : public temp_dir_test {
 protected:
  void SetUp() override {
    REQUIRE_LAB();
    temp_dir_test::SetUp();
    use_headless_windowing();
    // The browser is a recorder that writes down the URL it was asked to open.
    write_file("browser.sh", "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/opened.txt\"\n");
    std::filesystem::permissions("browser.sh", std::filesystem::perms::owner_all);
    setenv("BROWSER", (std::filesystem::current_path() / "browser.sh").c_str(), 1);
    win_register_class(nullptr, nullptr);
  }
  void TearDown() override {
    if (window && IsWindow(window->hwnd)) DestroyWindow(window->hwnd);
    if (window) win_free(window);
    window = nullptr;
    pump_for(0ms);
    temp_dir_test::TearDown();
  }

  void open() {
    window = probe_window_create();
    ASSERT_NE(window->hwnd, nullptr);
    ShowWindow(window->hwnd, SW_SHOW);
    UpdateWindow(window->hwnd);
  }
  probe_ctx* ctx() { return static_cast<probe_ctx*>(win_user(window)); }
  HWND list() { return static_cast<HWND>(ctx()->list); }

  // The test is the window's message loop: it serves the receiver's list updates.
  void pump_for(std::chrono::milliseconds span) {
    auto end = std::chrono::steady_clock::now() + span;
    do {
      MSG m;
      // The steps of the tool's own loop.
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) quit_code = static_cast<int>(m.wParam);
        if (window && probe_window_key(window, &m)) continue;
        if (window && IsDialogMessageA(window->hwnd, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
      sleep_ms(5);
    } while (std::chrono::steady_clock::now() < end);
  }

  std::vector<std::string> items() {
    std::vector<std::string> out;
    LRESULT n = SendMessageA(list(), LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; i++) {
      char text[64] = {};
      SendMessageA(list(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      out.push_back(text);
    }
    return out;
  }

  void command(HWND from, WORD code) {
    SendMessageA(window->hwnd, WM_COMMAND, MAKEWPARAM(0, code), reinterpret_cast<LPARAM>(from));
  }

  std::string opened(std::chrono::milliseconds wait) {
    pump_for(wait);
    return read_file("opened.txt");
  }

  // The box the shown window puts up, once the answerer has seen and ended it.
  std::vector<uint32_t> shown_box(HWND answerer);
  void refresh_answered_by(HWND answerer);

  win_obj* window = nullptr;
  int quit_code = -1;
};

TEST_F(ProbeWindow, TwoDevicesAreListedInTextOrderAndComeBackAfterRefresh) {
  fake_devices d({"10.77.0.12", "10.77.0.10"});
  ASSERT_TRUE(d.ready());
  open();
  pump_for(1300ms);
  EXPECT_EQ(items(), (std::vector<std::string>{"10.77.0.10", "10.77.0.12"}));

  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  EXPECT_TRUE(items().empty());
  pump_for(1300ms);
  EXPECT_EQ(items(), (std::vector<std::string>{"10.77.0.10", "10.77.0.12"}));
}

TEST_F(ProbeWindow, OneListenWindowListsEveryDeviceThatAnswered) {
  std::vector<std::string> dozen;
  for (int i = 10; i < 22; i++) dozen.push_back("10.77.0." + std::to_string(i));
  fake_devices d(dozen);
  ASSERT_TRUE(d.ready());
  open();
  pump_for(1100ms);
  EXPECT_EQ(items(), dozen);
  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  pump_for(1100ms);
  EXPECT_EQ(items(), dozen);
}

TEST_F(ProbeWindow, TwoQuickRefreshesRunOneWindowToItsEnd) {
  fake_devices d({"10.77.0.11"});
  open();
  pump_for(1200ms);
  ASSERT_EQ(ctx()->busy.load(), 0);
  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  pump_for(400ms);
  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  EXPECT_EQ(ctx()->busy.load(), 1);
  // Past the first window's end the restarted one still runs...
  pump_for(650ms);
  EXPECT_EQ(ctx()->busy.load(), 1);
  // ...and it ends once, with the device listed again.
  pump_for(900ms);
  EXPECT_EQ(ctx()->busy.load(), 0);
  EXPECT_EQ(items(), std::vector<std::string>{"10.77.0.11"});
}

TEST_F(ProbeWindow, RefreshAfterABurstOfJunkListsTheDeviceAtOnce) {
  fake_devices d({"10.77.0.11"});
  open();
  pump_for(1200ms);
  ASSERT_EQ(items(), std::vector<std::string>{"10.77.0.11"});
  // More malformed replies than the socket holds, all after the window ended.
  int32_t any = 0;
  int32_t junk = udp_open(&any, 0);
  ASSERT_GT(junk, 0);
  sockaddr_in to;
  ip_resolve(&to, "127.0.0.1", 10000);
  for (int i = 0; i < 1000; i++) udp_send(junk, "!", 1, &to);
  udp_close(junk);

  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  pump_for(1300ms);
  EXPECT_EQ(items(), std::vector<std::string>{"10.77.0.11"});
}

TEST_F(ProbeWindow, DoubleClickOpensTheSelectedDevicesPage) {
  fake_devices d({"10.77.0.10", "10.77.0.13"});
  open();
  pump_for(1300ms);
  ASSERT_EQ(items().size(), 2u);
  SendMessageA(list(), LB_SETCURSEL, 0, 0);
  command(list(), LBN_DBLCLK);
  EXPECT_EQ(opened(1500ms), "http://10.77.0.10\n");
}

TEST_F(ProbeWindow, NothingOpensWithoutASelectionOrOnOtherNotifications) {
  fake_devices d({"10.77.0.10"});
  open();
  pump_for(1300ms);
  ASSERT_EQ(items().size(), 1u);
  command(list(), LBN_DBLCLK);  // nothing selected
  SendMessageA(list(), LB_SETCURSEL, 0, 0);
  command(list(), LBN_SELCHANGE);  // a single click only selects
  EXPECT_EQ(opened(700ms), "");
  EXPECT_EQ(items(), std::vector<std::string>{"10.77.0.10"});
}

TEST_F(ProbeWindow, ClosingDuringAWindowEndsTheChannelAndPostsQuit) {
  std::vector<std::string> many;
  for (int i = 10; i < 30; i++) many.push_back("10.77.0." + std::to_string(i));
  fake_devices d(many);
  open();
  pump_for(200ms);  // replies are waiting for this thread when the close comes
  auto t0 = std::chrono::steady_clock::now();
  DestroyWindow(window->hwnd);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
  pump_for(0ms);
  EXPECT_EQ(quit_code, 0);
  bcast_request req{};
  EXPECT_EQ(udp_bcast_send(&req, "?", 1), -1);  // the channel is closed
}

}  // namespace

// The busy port: another socket holds the channel's port 10000. A helper
// window of the test's thread answers the box once it runs: its own loop
// dispatches what the helper was posted.
namespace {

constexpr UINT answer_box = WM_APP + 60;
constexpr char busy_port_words[] =
    "UDP port 10000 is in use by another program (perhaps another copy of this tool), so no "
    "device can answer.\n\nRefresh tries again once the port is free.";
bool probe_enabled_meanwhile = true;
std::string box_caption_seen;
std::vector<uint32_t> box_pixels_seen;  // what the box showed, row by row
HWND probe_hwnd_under_test = nullptr;

LRESULT CALLBACK box_answerer(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == answer_box) {
    probe_enabled_meanwhile = IsWindowEnabled(probe_hwnd_under_test) != 0;
    HWND box = GetParent(GetFocus());
    char caption[64] = {};
    GetWindowTextA(box, caption, sizeof caption);
    box_caption_seen = caption;
    UpdateWindow(box);
    box_pixels_seen = headless_pixels(box);
    PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

HWND make_answerer() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = box_answerer;
  wc.lpszClassName = "KtaBoxAnswerer";
  RegisterClassA(&wc);
  return CreateWindowExA(0, "KtaBoxAnswerer", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                         nullptr);
}

// What a box over owner shows for text, as the answerer saw it.
std::vector<uint32_t> box_showing(HWND answerer, HWND owner, const char* text) {
  PostMessageA(answerer, answer_box, 0, 0);
  MessageBoxA(owner, text, "Corvane KTA-310 Probe", MB_OK | MB_ICONWARNING);
  return box_pixels_seen;
}

}  // namespace

std::vector<uint32_t> ProbeWindow::shown_box(HWND answerer) {
  probe_hwnd_under_test = window->hwnd;
  box_caption_seen.clear();
  PostMessageA(answerer, answer_box, 0, 0);
  probe_window_shown(window);
  return box_pixels_seen;
}

// A Refresh whose box, if one comes, the answerer sees and ends.
void ProbeWindow::refresh_answered_by(HWND answerer) {
  box_caption_seen.clear();
  PostMessageA(answerer, answer_box, 0, 0);
  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
}

TEST_F(ProbeWindow, ABusyPortIsReportedAndARefreshOnceItIsFreeListsTheDevices) {
  fake_devices lab({"10.77.0.12"});
  ASSERT_TRUE(lab.ready());
  int32_t port = 10000;
  int32_t holder = udp_open(&port, 1);
  ASSERT_GT(holder, 0);
  HWND answerer = make_answerer();
  ASSERT_NE(answerer, nullptr);

  open();
  std::vector<uint32_t> shown = shown_box(answerer);
  EXPECT_EQ(box_caption_seen, "Corvane KTA-310 Probe");
  EXPECT_FALSE(probe_enabled_meanwhile);
  EXPECT_TRUE(IsWindowEnabled(window->hwnd));
  EXPECT_TRUE(shown == box_showing(answerer, window->hwnd, busy_port_words))
      << "the box says that the port is in use";
  pump_for(300ms);
  EXPECT_TRUE(items().empty());

  // Still held: a Refresh says so again.
  refresh_answered_by(answerer);
  EXPECT_EQ(box_caption_seen, "Corvane KTA-310 Probe");

  // Freed: the next Refresh opens the channel and probes.
  udp_close(holder);
  box_caption_seen.clear();
  command(static_cast<HWND>(ctx()->button), BN_CLICKED);
  pump_for(1300ms);
  EXPECT_TRUE(box_caption_seen.empty());
  EXPECT_EQ(items(), std::vector<std::string>{"10.77.0.12"});
  DestroyWindow(answerer);
}

// Where the window stands and what it shows: the places the scripts click and
// people know, in the blue that fills the rest of the client area.
TEST_F(ProbeWindow, TheWindowItsListAndButtonStandWhereTheyAlwaysHave) {
  open();
  RECT outer{}, client{};
  GetWindowRect(window->hwnd, &outer);
  GetClientRect(window->hwnd, &client);
  EXPECT_EQ(outer.left, 300);
  EXPECT_EQ(outer.top, 150);
  EXPECT_EQ(outer.right - outer.left, 240);
  EXPECT_EQ(outer.bottom - outer.top, 300);
  ASSERT_EQ(client.right, 234);
  ASSERT_EQ(client.bottom, 271);
  constexpr uint32_t blue = 0x7F7FFF;  // red 127, green 127, blue 255
  auto at = [this](int x, int y) { return headless_pixel(window->hwnd, x, y); };
  for (POINT p : {POINT{0, 0}, POINT{233, 0}, POINT{0, 270}, POINT{233, 270}})
    EXPECT_EQ(at(p.x, p.y), blue) << p.x << "," << p.y;
  // The list box, 160 wide from (37, 25) (its height a whole number of rows);
  // the button, 100 by 20 from (67, 241).
  for (RECT r : {RECT{37, 25, 197, 225}, RECT{67, 241, 167, 261}}) {
    EXPECT_NE(at(r.left, r.top), blue) << r.left << "," << r.top;
    EXPECT_NE(at(r.right - 1, r.top), blue) << r.right - 1 << "," << r.top;
    EXPECT_EQ(at(r.left - 1, r.top), blue) << r.left - 1 << "," << r.top;
    EXPECT_EQ(at(r.right, r.top), blue) << r.right << "," << r.top;
    EXPECT_EQ(at(r.left, r.top - 1), blue) << r.left << "," << r.top - 1;
  }
  EXPECT_NE(at(117, 260), blue) << "the button's last row";
  EXPECT_EQ(at(117, 261), blue) << "below the button";
}

TEST_F(ProbeWindow, AFreePortShowsNoBox) {
  fake_devices lab({"10.77.0.12"});
  open();
  probe_window_shown(window);  // returns at once: nothing to report
  pump_for(1300ms);
  EXPECT_EQ(items(), std::vector<std::string>{"10.77.0.12"});
}

// A process that may start no thread opens no channel either, and the box
// says why: not a port in use, which a Refresh after closing another program
// would not mend.
TEST_F(ProbeWindow, AReceiverThatCannotStartIsReportedAsSuch) {
  RUN_UNDER_THREAD_LIMIT(20000);
  HWND answerer = make_answerer();
  ASSERT_NE(answerer, nullptr);
  open();
  std::vector<uint32_t> shown = shown_box(answerer);
  EXPECT_EQ(box_caption_seen, "Corvane KTA-310 Probe");
  EXPECT_TRUE(shown == box_showing(answerer, window->hwnd,
                                   "The system refused the thread that listens for answers, so no "
                                   "device can answer.\n\nRefresh tries again."));
  EXPECT_FALSE(shown == box_showing(answerer, window->hwnd, busy_port_words));
  // A Refresh tries again, and says so again.
  refresh_answered_by(answerer);
  EXPECT_TRUE(shown == box_pixels_seen);
  DestroyWindow(answerer);
}

namespace {

void type(HWND top, UINT vk) {
  headless_key(top, vk, true);
  headless_key(top, vk, false);
}

std::string clipboard_text() {
  if (!OpenClipboard(nullptr)) return "(not open)";
  HANDLE h = GetClipboardData(CF_TEXT);
  const char* p = h ? static_cast<const char*>(GlobalLock(h)) : nullptr;
  std::string out = p ? p : "(none)";
  if (p) GlobalUnlock(h);
  CloseClipboard();
  return out;
}

}  // namespace

// No click first: the list has the focus once the window shows, Tab moves
// to Refresh and back, Enter acts on the one with the focus, Ctrl+C copies.
TEST_F(ProbeWindow, TheKeyboardWorksFromTheStart) {
  fake_devices d({"10.77.0.10", "10.77.0.11"});
  ASSERT_TRUE(d.ready());
  open();
  probe_window_shown(window);
  pump_for(1300ms);
  ASSERT_EQ(items().size(), 2u);
  EXPECT_EQ(GetFocus(), list());
  HWND top = window->hwnd;
  type(top, VK_DOWN);
  type(top, VK_DOWN);
  pump_for(0ms);
  EXPECT_EQ(SendMessageA(list(), LB_GETCURSEL, 0, 0), 1);
  type(top, VK_RETURN);
  EXPECT_EQ(opened(1500ms), "http://10.77.0.11\n") << "Enter on the list opens the selected row";

  headless_key(top, VK_CONTROL, true);
  type(top, 'C');
  headless_key(top, VK_CONTROL, false);
  pump_for(0ms);
  EXPECT_EQ(clipboard_text(), "10.77.0.11");
  SendMessageA(list(), LB_SETCURSEL, 0, 0);
  headless_key(top, VK_CONTROL, true);
  type(top, VK_INSERT);
  headless_key(top, VK_CONTROL, false);
  pump_for(0ms);
  EXPECT_EQ(clipboard_text(), "10.77.0.10") << "Ctrl+Insert copies too";

  type(top, VK_TAB);
  pump_for(0ms);
  EXPECT_EQ(GetFocus(), static_cast<HWND>(ctx()->button));
  // The devices answer the new probe at once, maybe before this thread looks
  // at the list again: the window that Refresh opens tells that it came.
  ASSERT_EQ(ctx()->busy.load(), 0);
  type(top, VK_RETURN);
  pump_for(0ms);
  EXPECT_EQ(ctx()->busy.load(), 1) << "Enter on Refresh refreshes";
  pump_for(1300ms);
  EXPECT_EQ(items().size(), 2u);
  ASSERT_EQ(ctx()->busy.load(), 0);
  type(top, VK_SPACE);
  pump_for(0ms);
  EXPECT_EQ(ctx()->busy.load(), 1) << "and so does Space";
  pump_for(1300ms);
  headless_key(top, VK_SHIFT, true);
  type(top, VK_TAB);
  headless_key(top, VK_SHIFT, false);
  pump_for(0ms);
  EXPECT_EQ(GetFocus(), list()) << "Shift+Tab goes back";
  EXPECT_EQ(read_file("opened.txt"), "http://10.77.0.11\n") << "nothing else was opened";
}

// No browser anywhere: the double-click is answered by a box, not by silence.
TEST_F(ProbeWindow, APageThatCannotOpenIsToldInABox) {
  fake_devices d({"10.77.0.10"});
  ASSERT_TRUE(d.ready());
  std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("BROWSER", "/no/such/browser:/nor/this %s", 1);
  setenv("PATH", "/no/such/folder", 1);  // nor xdg-open, sensible-browser or x-www-browser
  HWND answerer = make_answerer();
  open();
  probe_window_shown(window);
  pump_for(1300ms);
  ASSERT_EQ(items().size(), 1u);
  SendMessageA(list(), LB_SETCURSEL, 0, 0);
  probe_hwnd_under_test = window->hwnd;
  box_caption_seen.clear();
  PostMessageA(answerer, answer_box, 0, 0);
  command(list(), LBN_DBLCLK);
  std::vector<uint32_t> shown = box_pixels_seen;
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(box_caption_seen, "Corvane KTA-310 Probe");
  EXPECT_FALSE(probe_enabled_meanwhile);
  EXPECT_TRUE(shown == box_showing(answerer, window->hwnd,
                                   "The page http://10.77.0.10 could not be opened: no web browser "
                                   "could be started. Set BROWSER or install a web browser."));
  EXPECT_EQ(GetFocus(), list()) << "the list has the focus back";
  DestroyWindow(answerer);
}
