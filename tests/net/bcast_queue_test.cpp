#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "net/bcast_queue.h"

namespace {

sockaddr_in from_port(int port) {
  sockaddr_in ep{};
  ep.sin_family = AF_INET;
  ep.sin_port = htons(static_cast<uint16_t>(port));
  return ep;
}

struct Queue : ::testing::Test {
  std::vector<char> storage;
  bcast_queue q{};
  void make(uint32_t size) {
    storage.assign(size, 0);
    bcast_queue_init(&q, storage.data(), size);
  }
  bool put(const std::string& data, int port = 1) {
    sockaddr_in ep = from_port(port);
    return bcast_queue_put(&q, &ep, data.data(), static_cast<int32_t>(data.size()));
  }
  // The oldest datagram and its sender's port, or "" and -1 when empty.
  std::pair<std::string, int> take() {
    char buf[bcast_queue_datagram_max];
    sockaddr_in ep{};
    int32_t n = bcast_queue_take(&q, &ep, buf);
    if (n < 0) return {"", -1};
    return {std::string(buf, static_cast<size_t>(n)), ntohs(ep.sin_port)};
  }
};

// A ring a little over three records long, filled and emptied in turns: what
// comes out is always what went in, oldest first, whichever way the ring
// stands when a record meets its end.
TEST_F(Queue, RecordsComeOutInOrderAcrossEveryWrap) {
  const uint32_t record = bcast_queue_record_size(100);
  make(record * 3 + record / 2);
  std::deque<std::pair<std::string, int>> model;
  int next = 0;
  for (int step = 0; step < 200; step++) {
    // Puts until full on even steps of three, takes one or two otherwise.
    if (step % 3 == 0) {
      for (;;) {
        std::string data(100, static_cast<char>('a' + next % 26));
        if (!put(data, next)) break;
        model.emplace_back(data, next++);
      }
      ASSERT_GE(model.size(), 3u) << "a ring of three and a half records holds three";
    } else {
      for (int i = 0; i < step % 3 && !model.empty(); i++) {
        ASSERT_EQ(take(), model.front()) << "step " << step;
        model.pop_front();
      }
    }
    ASSERT_EQ(q.count, static_cast<int32_t>(model.size()));
  }
}

TEST_F(Queue, RefusesWhatDoesNotFitAndKeepsWhatItHas) {
  make(bcast_queue_record_size(bcast_queue_datagram_max) + bcast_queue_record_size(10));
  EXPECT_FALSE(put(std::string(bcast_queue_datagram_max + 1, 'x'))) << "longer than a datagram";
  EXPECT_TRUE(put(std::string(bcast_queue_datagram_max, 'x'), 1));
  EXPECT_TRUE(put("0123456789", 2));
  EXPECT_FALSE(put("!", 3)) << "full to the byte";
  EXPECT_FALSE(bcast_queue_has_room(&q, 1));
  EXPECT_EQ(take(), std::make_pair(std::string(bcast_queue_datagram_max, 'x'), 1));
  EXPECT_TRUE(bcast_queue_has_room(&q, 1)) << "the space in front of the rest is usable";
  EXPECT_TRUE(put("!", 3));
  EXPECT_EQ(take(), std::make_pair(std::string("0123456789"), 2));
  EXPECT_EQ(take(), std::make_pair(std::string("!"), 3));
  EXPECT_EQ(take().second, -1);
}

TEST_F(Queue, ClearDropsEverythingAndCountsIt) {
  make(4096);
  EXPECT_EQ(bcast_queue_clear(&q), 0);
  for (const char* text : {"?0", "?1", "?2", "?3", "?4"}) ASSERT_TRUE(put(text));
  EXPECT_EQ(bcast_queue_clear(&q), 5);
  EXPECT_EQ(take().second, -1);
  EXPECT_TRUE(bcast_queue_has_room(&q, 4096 / bcast_queue_record_size(bcast_queue_datagram_max)));
}

}  // namespace
