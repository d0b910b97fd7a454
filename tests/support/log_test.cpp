#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc.h"
#include "support/log.h"
#include "tests/support/temp_dir.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class Log : public temp_dir_test {
 protected:
  static std::string log_text() { return read_text_file("log.txt"); }
};

bool is_stamp(const std::string& s) {
  if (s.size() != 8 || s[2] != ':' || s[5] != ':') return false;
  for (int i : {0, 1, 3, 4, 6, 7})
    if (!isdigit(static_cast<unsigned char>(s[i]))) return false;
  return std::stoi(s.substr(0, 2)) < 24 && std::stoi(s.substr(3, 2)) < 60 &&
         std::stoi(s.substr(6, 2)) < 61;
}

std::string stamp_of(time_value t) {
  char buf[16];
  return time_text(t, buf);
}

TEST_F(Log, FirstMessageOpensTheFileBehindAStampOfTheCurrentLocalTime) {
  mem_start();
  time_value before = time_now();
  CaptureStdout();
  log_print("a\n");
  log_print("%s%d\n", "b", 2);
  EXPECT_EQ(GetCapturedStdout(), "a\nb2\n") << "the stamp goes to the file only";
  time_value after = time_now();
  mem_stop();

  std::string log = log_text();
  ASSERT_GE(log.size(), 8u);
  std::string stamp = log.substr(0, 8);
  EXPECT_TRUE(is_stamp(stamp)) << stamp;
  std::set<std::string> expected;
  for (time_value t = before; t <= after; t++) expected.insert(stamp_of(t));
  EXPECT_TRUE(expected.count(stamp)) << "stamp " << stamp << " is not the time of the open";
  EXPECT_EQ(log.substr(8), "a\nb2\n");
}

TEST_F(Log, MessagesRunOnWithoutSeparatorsAndAnEmptyOneWritesNothing) {
  mem_start();
  CaptureStdout();
  log_print("%s", "");
  log_print("x");
  log_print("y\n");
  EXPECT_EQ(GetCapturedStdout(), "xy\n");
  mem_stop();
  EXPECT_EQ(log_text().substr(8), "xy\n");
}

TEST_F(Log, AnEmptyFirstMessageStillOpensTheFileWithItsStamp) {
  mem_start();
  log_print("%s", "");
  mem_stop();
  std::string log = log_text();
  EXPECT_EQ(log.size(), 8u);
  EXPECT_TRUE(is_stamp(log));
}

TEST_F(Log, AnUnopenableFileLeavesStdoutAndIsTriedAgainOnEveryMessage) {
  std::filesystem::create_directory("log.txt");
  mem_start();
  CaptureStdout();
  log_print("one\n");
  log_print("two\n");
  EXPECT_EQ(GetCapturedStdout(), "one\ntwo\n");
  EXPECT_TRUE(std::filesystem::is_empty("log.txt"));
  std::filesystem::remove("log.txt");
  CaptureStdout();
  log_print("three\n");
  GetCapturedStdout();
  mem_stop();
  EXPECT_EQ(log_text().substr(8), "three\n");
}

TEST_F(Log, AMessageAfterTheStopStartsTheFileAgain) {
  mem_start();
  CaptureStdout();
  log_print("first span\n");
  mem_stop();
  log_print("after stop\n");
  mem_start();
  mem_stop();
  GetCapturedStdout();
  std::string log = log_text();
  EXPECT_TRUE(is_stamp(log.substr(0, 8)));
  EXPECT_EQ(log.substr(8), "after stop\n");
}

TEST_F(Log, AStreamOpenedBeforeTheStartIsClosedAndCannotOverwriteTheNextSpan) {
  CaptureStdout();
  log_print("early\n");
  mem_start();
  log_print("late\n");
  mem_stop();
  GetCapturedStdout();
  // A stream left open would write its text here, over the start of the file.
  fflush(nullptr);
  EXPECT_EQ(log_text().substr(8), "late\n");
}

TEST_F(Log, ALongMessageIsCutTo1999Characters) {
  std::string big(5000, 'm');
  mem_start();
  CaptureStdout();
  log_print("%s", big.c_str());
  EXPECT_EQ(GetCapturedStdout(), big.substr(0, 1999));
  mem_stop();
  EXPECT_EQ(log_text().substr(8), big.substr(0, 1999));
  EXPECT_EQ(my_total.load(), 0);
}

TEST_F(Log, ThreadsLoggingTheirFirstMessageTogetherShareOneFile) {
  constexpr int threads = 8;
  mem_start();
  CaptureStdout();
  std::atomic<int> ready{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) {
    pool.emplace_back([t, &ready] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      log_print("thread %d\n", t);
    });
  }
  for (auto& th : pool) th.join();
  GetCapturedStdout();
  mem_stop();

  std::string log = log_text();
  ASSERT_GE(log.size(), 8u);
  EXPECT_TRUE(is_stamp(log.substr(0, 8)));
  std::multiset<std::string> lines;
  size_t start = 8;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
    lines.insert(log.substr(start, end - start));
  EXPECT_EQ(start, log.size());
  std::multiset<std::string> expected;
  for (int t = 0; t < threads; t++) expected.insert("thread " + std::to_string(t));
  EXPECT_EQ(lines, expected);
}

TEST(TimeText, GivesTheLocalTimeOfDayAsEightCharacters) {
  for (time_value t : {time_value{0}, time_value{86399}, time_value{951782400}, time_now()}) {
    char out[16];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(time_text(t, out), out);
    EXPECT_EQ(out[8], '\0');
    EXPECT_EQ(out[9], 'z');
    time_t v = static_cast<time_t>(t);
    char want[16];
    strftime(want, sizeof want, "%H:%M:%S", localtime(&v));
    EXPECT_STREQ(out, want) << "t = " << t;
  }
}

TEST(TimeText, NowIsTheCurrentTimeNotACountFromZero) {
  time_value now = time_now();
  EXPECT_GT(now, time_value{1577836800});  // later than 2020-01-01
  EXPECT_LE(now - static_cast<time_value>(time(nullptr)), 1);
}

}  // namespace
