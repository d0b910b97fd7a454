#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/neigh.h"
#include "tests/testing/lab_guard.h"

// The lab's own neighbour table, set as an administrator would (ip -batch),
// then read back. Addresses from 10.88.0.0/16: nothing else in the lab uses them.

namespace {

constexpr uint32_t base = 0x0A580000;  // 10.88.0.0

std::string addr_text(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
         std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
}

// A hardware address of entry n's own; first 0x06 makes a second one for it.
std::vector<uint8_t> mac_of(uint32_t n, uint8_t first = 0x02) {
  return {first,
          0x4b,
          static_cast<uint8_t>(n >> 16),
          static_cast<uint8_t>(n >> 8),
          static_cast<uint8_t>(n),
          0x01};
}

std::string mac_text(const std::vector<uint8_t>& m) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                m[5]);
  return text;
}

// ip's batch mode: one process for many changes, which ends at the first that fails.
FILE* ip_batch() { return popen("ip -batch -", "w"); }

// Every entry a test sets is gone again when it ends: the lab is shared by the suite.
class NeighbourTable : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_LAB(); }
  void TearDown() override {
    FILE* ip = ip_batch();
    for (const std::string& e : set_) std::fprintf(ip, "neigh del %s\n", e.c_str());
    pclose(ip);
    set_.clear();
  }
  // Lines "ADDRESS [MAC] DEV STATE", set in one batch.
  void set(const std::vector<std::string>& lines) {
    FILE* ip = ip_batch();
    for (const std::string& l : lines) {
      char addr[32], second[32], third[32], fourth[32];
      int n = std::sscanf(l.c_str(), "%31s %31s %31s %31s", addr, second, third, fourth);
      if (n == 4) {
        std::fprintf(ip, "neigh replace %s lladdr %s dev %s nud %s\n", addr, second, third, fourth);
        set_.push_back(std::string(addr) + " dev " + third);
      } else {
        std::fprintf(ip, "neigh replace %s dev %s nud %s\n", addr, second, third);
        set_.push_back(std::string(addr) + " dev " + second);
      }
    }
    ASSERT_EQ(pclose(ip), 0) << "ip could not set every entry";
  }
  std::vector<std::string> set_;
};

neigh_entry asking(uint32_t addr) {
  neigh_entry e;
  e.addr = addr;
  std::memset(e.mac, 0xEE, sizeof e.mac);
  e.known = 7;
  return e;
}

bool mac_is(const neigh_entry& e, const std::vector<uint8_t>& m) {
  return std::memcmp(e.mac, m.data(), 6) == 0;
}
const std::vector<uint8_t> none(6, 0);

TEST_F(NeighbourTable, EntriesCountInTheStatesThatHoldAConfirmedOrGivenAddress) {
  struct {
    const char* state;
    const char* mac;  // nullptr: the entry's own
    bool known;
  } cases[] = {
      {"permanent", nullptr, true},
      {"reachable", nullptr, true},
      {"stale", nullptr, true},
      {"delay", nullptr, true},
      {"probe", nullptr, true},
      {"noarp", nullptr, false},
      {"permanent", "00:00:00:00:00:00", false},
      {"permanent", "ff:ff:ff:ff:ff:ff", false},
      {"permanent", "01:00:5e:00:00:01", false},
      {"incomplete", "", false},
  };
  std::vector<std::string> lines;
  std::vector<neigh_entry> asked;
  int32_t expected = 0;
  for (uint32_t i = 0; i < std::size(cases); i++) {
    std::string mac = cases[i].mac ? cases[i].mac : mac_text(mac_of(i));
    lines.push_back(addr_text(base + i) + " " + mac + (mac.empty() ? "" : " ") + "lab0 " +
                    cases[i].state);
    asked.push_back(asking(base + i));
    expected += cases[i].known;
  }
  asked.push_back(asking(base + 100));  // never set
  set(lines);
  ASSERT_EQ(neigh_lookup(asked.data(), static_cast<int32_t>(asked.size())), expected);
  for (uint32_t i = 0; i < asked.size(); i++) {
    bool known = i < std::size(cases) && cases[i].known;
    const char* what = i < std::size(cases) ? cases[i].state : "never set";
    EXPECT_EQ(asked[i].known, known ? 1 : 0) << i << " " << what;
    EXPECT_TRUE(mac_is(asked[i], known ? mac_of(i) : none)) << i << " " << what;
  }
}

TEST_F(NeighbourTable, TheLabsFixedEntryIsFoundAndADeletedEntryIsGone) {
  set({addr_text(base + 1) + " " + mac_text(mac_of(1)) + " lab0 stale"});
  neigh_entry asked[] = {asking(0x0A4D0002), asking(base + 1)};
  ASSERT_EQ(neigh_lookup(asked, 2), 2);
  EXPECT_TRUE(mac_is(asked[0], {0x02, 0x00, 0x00, 0x00, 0x77, 0x02})) << "10.77.0.2, from lab.sh";
  EXPECT_TRUE(mac_is(asked[1], mac_of(1)));
  TearDown();
  ASSERT_EQ(neigh_lookup(asked, 2), 1);
  EXPECT_EQ(asked[1].known, 0);
}

TEST_F(NeighbourTable, AnAddressOnTwoLinksIsKnownOnlyWhenBothHoldTheSameHardwareAddress) {
  std::string a = mac_text(mac_of(1)), b = mac_text(mac_of(2));
  set({addr_text(base + 1) + " " + a + " lab0 stale",
       addr_text(base + 1) + " " + b + " lab4 permanent",
       addr_text(base + 2) + " " + a + " lab0 stale",
       addr_text(base + 2) + " " + a + " lab4 permanent"});
  neigh_entry asked[] = {asking(base + 1), asking(base + 2)};
  ASSERT_EQ(neigh_lookup(asked, 2), 1);
  EXPECT_EQ(asked[0].known, 0) << "two devices, one address: which one answered is unknown";
  EXPECT_TRUE(mac_is(asked[0], none));
  EXPECT_EQ(asked[1].known, 1);
  EXPECT_TRUE(mac_is(asked[1], mac_of(1)));
}

TEST_F(NeighbourTable, ThousandsOfAddressesAreLookedUpInOneQuickRead) {
  constexpr uint32_t set_count = 3000;
  std::vector<std::string> lines;
  for (uint32_t i = 0; i < set_count; i++)
    lines.push_back(addr_text(base + 2 * i) + " " + mac_text(mac_of(i)) + " lab0 permanent");
  set(lines);
  // Every address set, each with an unset neighbour, and some asked twice.
  std::vector<neigh_entry> asked;
  for (uint32_t i = 0; i < 2 * set_count; i++) asked.push_back(asking(base + i));
  for (uint32_t i = 0; i < 100; i++) asked.push_back(asking(base + 20 * i));
  auto t0 = std::chrono::steady_clock::now();
  int32_t known = neigh_lookup(asked.data(), static_cast<int32_t>(asked.size()));
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(known, static_cast<int32_t>(set_count + 100));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  for (const neigh_entry& e : asked) {
    uint32_t n = e.addr - base;
    ASSERT_EQ(e.known, n % 2 == 0 ? 1 : 0) << n;
    ASSERT_TRUE(mac_is(e, n % 2 == 0 ? mac_of(n / 2) : none)) << n;
  }
}

TEST_F(NeighbourTable, ATableThatChangesDuringLookupsGivesOnlyHardwareAddressesItHeld) {
  constexpr uint32_t count = 200;
  // Each address takes one of two hardware addresses of its own, or none, again and again.
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::thread churn([&] {
    FILE* ip = ip_batch();
    std::vector<bool> present(count);
    for (uint32_t round = 0; !stop.load(std::memory_order_relaxed); round++) {
      for (uint32_t i = 0; i < count; i++) {
        std::string a = addr_text(base + i);
        bool keep = (i + round) % 3 != 2;
        if (!keep && present[i]) std::fprintf(ip, "neigh del %s dev lab0\n", a.c_str());
        present[i] = keep;
        if (keep) {
          std::string m = mac_text(mac_of(i, (i + round) % 3 == 0 ? 0x02 : 0x06));
          std::fprintf(ip, "neigh replace %s lladdr %s dev lab0 nud stale\n", a.c_str(), m.c_str());
        }
      }
      std::fflush(ip);
      rounds.fetch_add(1, std::memory_order_relaxed);
    }
    for (uint32_t i = 0; i < count; i++) {
      if (present[i]) std::fprintf(ip, "neigh del %s dev lab0\n", addr_text(base + i).c_str());
    }
    EXPECT_EQ(pclose(ip), 0) << "ip could not make every change";
  });
  std::vector<neigh_entry> asked(count);
  int reads = 0, unreadable = 0, found = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < until) {
    for (uint32_t i = 0; i < count; i++) asked[i] = asking(base + i);
    int32_t known = neigh_lookup(asked.data(), count);
    reads++;
    unreadable += known < 0;
    int32_t counted = 0;
    for (uint32_t i = 0; i < count; i++) {
      counted += asked[i].known;
      bool held = asked[i].known
                      ? mac_is(asked[i], mac_of(i, 0x02)) || mac_is(asked[i], mac_of(i, 0x06))
                      : mac_is(asked[i], none);
      EXPECT_TRUE(held) << "address " << i << " was never given that hardware address";
    }
    EXPECT_EQ(known < 0 ? 0 : known, counted) << "a table that cannot be read gives nothing";
    found += counted;
  }
  stop = true;
  churn.join();
  EXPECT_LT(unreadable, reads) << "some reads succeed while the table changes";
  EXPECT_GT(found, 0);
  // Rounds are written ahead of ip by at most a pipe's buffer, a few of them.
  EXPECT_GT(rounds.load(), 10) << "the table hardly changed";
  std::printf("%d reads, %d of them unreadable, during %d rounds of changes\n", reads, unreadable,
              rounds.load());
}

}  // namespace
