#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/probe.h"
#include "app/text_list.h"

namespace {

std::vector<std::string> items(text_list* list) {
  std::vector<std::string> v;
  char text[64];
  for (int32_t i = 0; text_list_get(list, i, text, sizeof text) >= 0; i++) v.push_back(text);
  return v;
}

struct Exchange : ::testing::Test {
  text_list* list = text_list_create();
  probe_ctx ctx{};
  void SetUp() override {
    ASSERT_NE(list, nullptr);
    probe_set_list_ops(&text_list_ops);
    ctx.local_port = 10000;
    ctx.device_port = 9999;
    ctx.list = list;
  }
  void TearDown() override {
    probe_set_list_ops(nullptr);
    text_list_free(list);
  }
  void reply(const char* sender, const std::string& bytes) {
    probe_on_reply(&ctx, sender, bytes.data(), static_cast<int32_t>(bytes.size()));
  }
};

TEST_F(Exchange, AnswerOfOneQuestionMarkListsItsSender) {
  reply("10.0.0.5", "?");
  EXPECT_EQ(items(list), std::vector<std::string>{"10.0.0.5"});
}

TEST_F(Exchange, OnlyTheFirstByteDecides) {
  reply("10.0.0.1", "!?");
  reply("10.0.0.2", std::string("\0?", 2));
  reply("10.0.0.3", std::string("\xbf"));  // '?' with the high bit set
  reply("10.0.0.4", "?anything at all");
  EXPECT_EQ(items(list), std::vector<std::string>{"10.0.0.4"});
}

TEST_F(Exchange, RepeatedAnswersAreListedOnceAcrossWindows) {
  reply("10.0.0.7", "?");
  reply("10.0.0.7", "?again");
  probe_on_done(&ctx);
  reply("10.0.0.7", "?");
  EXPECT_EQ(text_list_count(list), 1);
}

TEST_F(Exchange, DuplicateTestComparesWholeTexts) {
  reply("10.0.0.12", "?");
  reply("10.0.0.1", "?");    // a prefix of a listed address
  reply("10.0.0.123", "?");  // a listed address is a prefix of it
  EXPECT_EQ(items(list), (std::vector<std::string>{"10.0.0.1", "10.0.0.12", "10.0.0.123"}));
}

TEST_F(Exchange, ListIsInTextOrderNotNumericOrder) {
  reply("10.0.0.2", "?");
  reply("10.0.0.10", "?");
  reply("9.1.1.1", "?");
  reply("10.0.0.1", "?");
  reply("10.0.0.100", "?");
  EXPECT_EQ(items(list), (std::vector<std::string>{"10.0.0.1", "10.0.0.10", "10.0.0.100",
                                                   "10.0.0.2", "9.1.1.1"}));
}

TEST_F(Exchange, WithoutListOperationsRepliesAreDropped) {
  probe_set_list_ops(nullptr);
  reply("10.0.0.5", "?");
  EXPECT_EQ(text_list_count(list), 0);
}

TEST_F(Exchange, ProbeOnAClosedChannelLeavesBusyAndFillsTheRequest) {
  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 0);
  ctx.busy.store(1);  // whatever it was, a refused probe keeps it
  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 1);
  EXPECT_EQ(ctx.req.port, 9999);
  EXPECT_EQ(ctx.req.ctx, &ctx);
  EXPECT_EQ(ctx.req.on_reply, probe_on_reply);
  EXPECT_EQ(ctx.req.on_done, probe_on_done);
  EXPECT_EQ(ctx.req.polls, 0);
  EXPECT_EQ(ctx.req.wait_ms, 0);
  probe_on_done(&ctx);
  EXPECT_EQ(ctx.busy.load(), 0);
}

// The window tool hands the list's operations its own handle: the exchange
// must pass probe_ctx::list through untouched.
struct fake_list {
  std::vector<std::string> finds, adds;
  int32_t present = 0;
};
int32_t fake_find(void* list, const char* text) {
  auto* f = static_cast<fake_list*>(list);
  f->finds.emplace_back(text);
  return f->present;
}
void fake_add(void* list, const char* text) {
  static_cast<fake_list*>(list)->adds.emplace_back(text);
}
const device_list_ops fake_ops = {fake_find, fake_add};

TEST(ExchangeOps, FindsThenAddsThroughTheInstalledTable) {
  fake_list fake;
  probe_ctx ctx{};
  ctx.list = &fake;
  probe_set_list_ops(&fake_ops);
  std::string yes = "?";
  probe_on_reply(&ctx, "10.1.2.3", yes.data(), 1);
  fake.present = 1;
  probe_on_reply(&ctx, "10.1.2.4", yes.data(), 1);
  probe_set_list_ops(nullptr);
  EXPECT_EQ(fake.finds, (std::vector<std::string>{"10.1.2.3", "10.1.2.4"}));
  EXPECT_EQ(fake.adds, std::vector<std::string>{"10.1.2.3"});
}

TEST(TextList, EqualTextsGoAfterTheirTwinAndGetCutsSafely) {
  text_list* list = text_list_create();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(text_list_add(list, "b"), 0);
  EXPECT_EQ(text_list_add(list, "a"), 0);
  EXPECT_EQ(text_list_add(list, "b"), 2);
  EXPECT_EQ(text_list_add(list, "\xff"), 3);  // bytes compare unsigned
  char small[3];
  EXPECT_EQ(text_list_add(list, "abcdef"), 1);
  EXPECT_EQ(text_list_get(list, 1, small, sizeof small), 6);
  EXPECT_STREQ(small, "ab");
  EXPECT_EQ(text_list_get(list, 5, small, sizeof small), -1);
  EXPECT_EQ(text_list_get(list, -1, small, sizeof small), -1);
  EXPECT_EQ(text_list_find(list, "abc"), 0);
  EXPECT_EQ(text_list_find(list, "abcdef"), 1);
  memset(small, 'z', sizeof small);
  EXPECT_EQ(text_list_get(list, 1, small, 0), 6) << "no room: nothing written";
  EXPECT_EQ(small[0], 'z');
  EXPECT_EQ(text_list_get(list, 1, small, 1), 6);
  EXPECT_EQ(small[0], 0) << "room for the zero only";
  EXPECT_EQ(small[1], 'z');
  text_list_clear(list);
  EXPECT_EQ(text_list_count(list), 0);
  text_list_free(list);
}

TEST(TextList, AddsFromAnotherThreadWhileThisOneReads) {
  text_list* list = text_list_create();
  ASSERT_NE(list, nullptr);
  std::thread writer([list] {
    char text[32];
    for (int i = 0; i < 2000; i++) {
      std::snprintf(text, sizeof text, "10.0.%d", i);
      text_list_add(list, text);
    }
  });
  int32_t seen = 0;
  char text[32];
  while (seen < 2000) {
    seen = text_list_count(list);
    if (seen > 0) text_list_get(list, seen / 2, text, sizeof text);
  }
  writer.join();
  std::vector<std::string> all = items(list);
  EXPECT_EQ(all.size(), 2000u);
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
  text_list_free(list);
}

}  // namespace
