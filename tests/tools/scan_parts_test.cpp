// kta-scan's parts that need no network: reading a status line, and telling
// arrivals and departures from one round to the next.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/scan_watch.h"
#include "tools/scan_web.h"

namespace {

struct parsed {
  int32_t result;
  int32_t status;
  std::string reason;
};

parsed parse(const std::string& line, int32_t reason_size = web_line_max) {
  parsed p{0, -1, "untouched"};
  std::vector<char> reason(static_cast<size_t>(reason_size), 'x');
  p.result = web_parse_status(line.data(), static_cast<int32_t>(line.size()), &p.status,
                              reason.data(), reason_size);
  if (p.result == 0) p.reason = reason.data();
  return p;
}

TEST(StatusLine, CodeAndReasonAsTheDeviceSentThem) {
  parsed p = parse("HTTP/1.0 200 OK");
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.status, 200);
  EXPECT_EQ(p.reason, "OK");
  p = parse("HTTP/1.1 404 Not  Found\t(here)");
  EXPECT_EQ(p.status, 404);
  EXPECT_EQ(p.reason, "Not  Found\t(here)");
  p = parse("HTTP/10.25 503 ");
  EXPECT_EQ(p.status, 503);
  EXPECT_EQ(p.reason, "");
  // HTTP/1.1 allows the reason to be left out, space and all.
  p = parse("HTTP/1.1 204");
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.status, 204);
  EXPECT_EQ(p.reason, "");
  EXPECT_EQ(parse("HTTP/1.0 100 Continue").status, 100);
  EXPECT_EQ(parse("HTTP/1.0 599 Last").status, 599);
}

TEST(StatusLine, AnythingElseIsNoStatusLine) {
  for (const char* bad :
       {"", "HTTP/", "HTTP/1.0", "HTTP/1.0 ", "HTTP/1.0 20", "HTTP/1.0 2000 OK", "HTTP/1.0 200OK",
        "http/1.0 200 OK", "HTTP/1 200 OK", "HTTP/.0 200 OK", "HTTP/1. 200 OK", "HTTP/1.0  200 OK",
        "HTTP/1.0 099 Low", "HTTP/1.0 600 High", "HTTP/1.0 2x0 OK", "<html>", "SSH-2.0-OpenSSH",
        " HTTP/1.0 200 OK"}) {
    EXPECT_EQ(parse(bad).result, -1) << "'" << bad << "'";
  }
}

TEST(StatusLine, ControlBytesAndNonAsciiMakeItBad) {
  EXPECT_EQ(parse(std::string("HTTP/1.0 200 O\0K", 16)).result, -1);
  EXPECT_EQ(parse("HTTP/1.0 200 O\x1b[2JK").result, -1);
  EXPECT_EQ(parse("HTTP/1.0 200 OK\r").result, -1);
  EXPECT_EQ(parse("HTTP/1.0 200 \x7f").result, -1);
  EXPECT_EQ(parse("HTTP/1.0 200 caf\xc3\xa9").result, -1);
  // Nothing is written where the line is refused.
  parsed p = parse("HTTP/1.0 200 \x01");
  EXPECT_EQ(p.status, -1);
  EXPECT_EQ(p.reason, "untouched");
}

TEST(StatusLine, OnlyTheGivenLengthIsRead) {
  std::string line = "HTTP/1.0 200 OK and more";
  int32_t status = 0;
  char reason[16];
  ASSERT_EQ(web_parse_status(line.data(), 15, &status, reason, sizeof reason), 0);
  EXPECT_STREQ(reason, "OK");
  // The code's digits, too, end where the length does.
  EXPECT_EQ(web_parse_status("HTTP/1.0 2000 OK", 11, &status, reason, sizeof reason), -1);
  EXPECT_EQ(web_parse_status("HTTP/1.0 200 OK", 8, &status, reason, sizeof reason), -1);
  // A reason longer than its buffer is cut, never written past it.
  for (size_t n : {40, 9, 8}) {
    parsed p = parse("HTTP/1.0 200 " + std::string(n, 'r'), 8);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.reason, std::string(7, 'r')) << n;
  }
  EXPECT_EQ(parse("HTTP/1.0 200 " + std::string(7, 'r'), 8).reason, std::string(7, 'r'));
}

TEST(StatusLine, OutcomeNames) {
  EXPECT_STREQ(web_outcome_name(web_refused), "refused");
  EXPECT_STREQ(web_outcome_name(web_timeout), "timeout");
  EXPECT_STREQ(web_outcome_name(web_bad_reply), "bad-reply");
}

struct round_result {
  std::vector<std::string> found, lost;
};

round_result round(watch_state* s, const std::vector<std::string>& answered) {
  round_result r;
  watch_round(s, answered, &r.found, &r.lost);
  return r;
}

using list = std::vector<std::string>;

TEST(Watch, FirstAnswersAreFoundOnceEachSorted) {
  watch_state s;
  round_result r = round(&s, {"10.0.0.9", "10.0.0.10", "10.0.0.9"});
  EXPECT_EQ(r.found, (list{"10.0.0.10", "10.0.0.9"}));
  EXPECT_TRUE(r.lost.empty());
  r = round(&s, {"10.0.0.10", "10.0.0.9"});
  EXPECT_TRUE(r.found.empty());
  EXPECT_TRUE(r.lost.empty());
}

TEST(Watch, LostAfterThreeMissedProbesInARowThenFoundAgain) {
  watch_state s;
  round(&s, {"a", "b"});
  EXPECT_TRUE(round(&s, {"a"}).lost.empty());
  EXPECT_TRUE(round(&s, {"a"}).lost.empty());
  round_result r = round(&s, {"a"});
  EXPECT_EQ(r.lost, list{"b"});
  EXPECT_TRUE(r.found.empty());
  // Gone is gone: no second report while it stays away.
  EXPECT_TRUE(round(&s, {"a"}).lost.empty());
  EXPECT_TRUE(round(&s, {"a"}).lost.empty());
  EXPECT_TRUE(round(&s, {"a"}).lost.empty());
  r = round(&s, {"a", "b"});
  EXPECT_EQ(r.found, list{"b"});
  EXPECT_TRUE(r.lost.empty());
}

TEST(Watch, AnAnswerBetweenMissesStartsTheCountAgain) {
  watch_state s;
  round(&s, {"a"});
  round(&s, {});
  round(&s, {});
  EXPECT_TRUE(round(&s, {"a"}).found.empty());  // still present: not found a second time
  round(&s, {});
  round(&s, {});
  EXPECT_EQ(round(&s, {"x"}).lost, list{"a"});
}

// The caller keeps its two lists from round to round.
TEST(Watch, EachRoundReportsOnlyItsOwnChanges) {
  watch_state s;
  list found{"stale"}, lost{"stale"};
  watch_round(&s, {"a"}, &found, &lost);
  EXPECT_EQ(found, list{"a"});
  EXPECT_TRUE(lost.empty());
  watch_round(&s, {}, &found, &lost);
  watch_round(&s, {}, &found, &lost);
  watch_round(&s, {}, &found, &lost);
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(lost, list{"a"});
  watch_round(&s, {}, &found, &lost);
  EXPECT_TRUE(lost.empty());
}

TEST(Watch, SeveralLeaveInOneRoundSorted) {
  watch_state s;
  round(&s, {"c", "a", "b"});
  round(&s, {});
  round(&s, {});
  round_result r = round(&s, {"d"});
  EXPECT_EQ(r.lost, (list{"a", "b", "c"}));
  EXPECT_EQ(r.found, list{"d"});
}

}  // namespace
