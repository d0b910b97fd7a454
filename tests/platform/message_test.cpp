// Message queues: the quit message, key translation, and messages sent from
// other threads, which the owner serves only while it waits for messages.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/platform/msg_log.h"

namespace {

TEST(Message, PostQuitMessageEndsTheLoopAfterWhatWasPostedBefore) {
  HWND top = make_top();
  msg_log().clear();
  PostMessageA(top, WM_APP, 1, 0);
  PostMessageA(top, WM_APP, 2, 0);
  PostQuitMessage(0);
  MSG m;
  int dispatched = 0;
  BOOL r;
  while ((r = GetMessageA(&m, nullptr, 0, 0)) > 0) {
    if (m.message == WM_APP) dispatched++;
    dispatch(&m);
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_EQ(dispatched, 2);

  PostQuitMessage(7);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 7u) << "the code given to PostQuitMessage";
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "taken once";
  DestroyWindow(top);
}

static const message enter_key_seq[] = {
    {0, WM_KEYDOWN, posted | parent | wparam, VK_RETURN},
    {0, WM_CHAR, posted | parent | wparam, 13},
};

static const message enter_key_after_waiting_seq[] = {
    {0, WM_KEYDOWN, posted | parent | wparam, VK_RETURN},
    {0, WM_APP + 1, posted | parent | wparam, 0},
    {0, WM_CHAR, posted | parent | wparam, 13},
};

TEST(Message, TranslateMessageTurnsTheEnterKeyIntoChar13) {
  HWND top = make_top();
  pump();
  msg_log().clear();
  PostMessageA(top, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    if (m.message == WM_APP) break;
    TranslateMessage(&m);
    dispatch(&m);
    // TranslateMessage posts the character: the mark goes in behind it.
    if (m.message == WM_KEYDOWN) PostMessageA(top, WM_APP, 0, 0);
  }
  ok_sequence(enter_key_seq, {top},
              "Enter: the key, then its character, before anything posted later");

  // The character is posted, not pushed ahead: what was posted before it is read first.
  msg_log().clear();
  PostMessageA(top, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageA(top, WM_APP + 1, 0, 0);
  int seen = 0;
  while (seen < 3 && GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    dispatch(&m);
    if (m.message == WM_KEYDOWN || m.message == WM_APP + 1 || m.message == WM_CHAR) seen++;
  }
  ok_sequence(enter_key_after_waiting_seq, {top},
              "Enter after a waiting message: the key, the waiting one, the character");
  DestroyWindow(top);
}

std::atomic<int> threads_done{0};

TEST(Message, CrossThreadSendsAreServedWhileTheOwnerWaitsInGetMessage) {
  HWND top = make_top();
  HWND lb = make_child(top, "LISTBOX", LBS_HASSTRINGS, 10, 10, 160, 200);
  ASSERT_NE(lb, nullptr);
  constexpr int per_thread = 5000;
  std::atomic<int> refused{0};
  threads_done = 0;
  auto sender = [&](char tag) {
    for (int i = 0; i < per_thread; i++) {
      char item[16];
      snprintf(item, sizeof item, "%c%d", tag, i);
      if (SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item)) < 0) refused++;
    }
    threads_done++;
    PostMessageA(top, WM_APP, 0, 0);  // wakes the loop to look at the count
  };
  std::thread t1(sender, 'a'), t2(sender, 'b');
  MSG m;
  while (threads_done < 2 && GetMessageA(&m, nullptr, 0, 0) > 0) dispatch(&m);
  t1.join();
  t2.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCOUNT, 0, 0), 2 * per_thread) << "no item lost";
  EXPECT_NE(SendMessageA(lb, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("a4999")), LB_ERR);
  EXPECT_NE(SendMessageA(lb, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("b0")), LB_ERR);
  DestroyWindow(top);
}

LRESULT CALLBACK answer_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_APP + 1) return 42;
  return logging_proc(hwnd, msg, wparam, lparam);
}

TEST(Message, PeekWithoutRemovingServesSentMessagesAndLeavesPostedOnes) {
  HWND top = make_top();
  SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(answer_proc));
  pump();
  PostMessageA(top, WM_APP + 2, 0, 0);
  std::atomic<bool> done{false};
  LRESULT result = 0;
  std::thread t([&] {
    result = SendMessageA(top, WM_APP + 1, 0, 0);
    done = true;
  });
  MSG m;
  while (!done) {
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  t.join();
  EXPECT_EQ(result, 42);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "the posted message is still there";
  EXPECT_EQ(m.message, static_cast<UINT>(WM_APP + 2));
  DestroyWindow(top);
}

TEST(Message, ASenderIsReleasedWhenTheWindowDiesBeforeItsMessageIsServed) {
  HWND top = make_top();
  pump();
  msg_log().clear();
  std::atomic<bool> sending{false};
  LRESULT result = -5;
  std::thread t([&] {
    sending = true;
    result = SendMessageA(top, WM_APP + 3, 0, 0);
  });
  while (!sending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the send is queued by now
  DestroyWindow(top);
  MSG m;
  PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
  t.join();
  EXPECT_EQ(result, 0);
  for (const logged& l : msg_log()) EXPECT_NE(l.msg, static_cast<UINT>(WM_APP + 3));
}

TEST(Message, PostAndSendToADeadWindowFail) {
  HWND top = make_top();
  DestroyWindow(top);
  EXPECT_FALSE(PostMessageA(top, WM_APP, 0, 0));
  EXPECT_EQ(SendMessageA(top, WM_GETTEXTLENGTH, 0, 0), 0);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, top, 0, 0), -1) << "a dead window as filter";
}

}  // namespace
