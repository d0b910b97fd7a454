#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "net/neigh.h"
#include "tests/testing/lab_guard.h"

// The lab's own neighbour table, set through rtnetlink as an administrator
// (or ARP) would, then read back. Addresses from 10.88.0.0/16: no other test
// and nothing of the lab's plan uses them.

namespace {

constexpr uint32_t base = 0x0A580000;  // 10.88.0.0

struct mac6 {
  uint8_t b[6];
  bool operator<(const mac6& o) const { return std::memcmp(b, o.b, 6) < 0; }
};

mac6 mac_of(uint32_t n, uint8_t first = 0x02) {
  return {{first, 0x4b, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
           static_cast<uint8_t>(n), 0x01}};
}

// One rtnetlink socket that sets and deletes entries, each acknowledged.
struct neigh_writer {
  int s = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  uint32_t seq = 1;
  ~neigh_writer() { close(s); }

  // 0, or the kernel's negative errno.
  int send(uint16_t type, uint16_t flags, const char* dev, uint32_t addr, const uint8_t* mac,
           uint16_t state) {
    struct {
      nlmsghdr h;
      ndmsg nd;
      char attrs[64];
    } req;
    std::memset(&req, 0, sizeof req);
    req.h.nlmsg_type = type;
    req.h.nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
    req.h.nlmsg_seq = ++seq;
    req.nd.ndm_family = AF_INET;
    req.nd.ndm_ifindex = static_cast<int>(if_nametoindex(dev));
    req.nd.ndm_state = state;
    req.h.nlmsg_len = NLMSG_LENGTH(sizeof req.nd);
    uint32_t dst = htonl(addr);
    add_attr(&req.h, NDA_DST, &dst, sizeof dst);
    if (mac) add_attr(&req.h, NDA_LLADDR, mac, 6);
    if (::send(s, &req, req.h.nlmsg_len, 0) < 0) return -errno;
    alignas(nlmsghdr) char reply[1024];
    for (;;) {
      ssize_t got = recv(s, reply, sizeof reply, 0);
      if (got < 0) return -errno;
      for (nlmsghdr* h = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(h, got);
           h = NLMSG_NEXT(h, got)) {
        if (h->nlmsg_seq != seq || h->nlmsg_type != NLMSG_ERROR) continue;
        return static_cast<nlmsgerr*>(NLMSG_DATA(h))->error;
      }
    }
  }
  static void add_attr(nlmsghdr* h, uint16_t type, const void* data, size_t len) {
    rtattr* a = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(h) + NLMSG_ALIGN(h->nlmsg_len));
    a->rta_type = type;
    a->rta_len = static_cast<uint16_t>(RTA_LENGTH(len));
    std::memcpy(RTA_DATA(a), data, len);
    h->nlmsg_len = NLMSG_ALIGN(h->nlmsg_len) + RTA_ALIGN(a->rta_len);
  }
  int set(const char* dev, uint32_t addr, const mac6* mac, uint16_t state) {
    return send(RTM_NEWNEIGH, NLM_F_CREATE | NLM_F_REPLACE, dev, addr, mac ? mac->b : nullptr,
                state);
  }
  int del(const char* dev, uint32_t addr) { return send(RTM_DELNEIGH, 0, dev, addr, nullptr, 0); }
};

// Every entry a test sets is gone again when it ends: the lab is shared by the suite.
class NeighbourTable : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_LAB(); }
  void TearDown() override {
    for (const auto& [dev, addr] : set_) writer_.del(dev, addr);
  }
  void set(const char* dev, uint32_t addr, const mac6* mac, uint16_t state) {
    ASSERT_EQ(writer_.set(dev, addr, mac, state), 0) << dev << " " << addr;
    set_.insert({dev, addr});
  }
  neigh_writer writer_;
  std::set<std::pair<const char*, uint32_t>> set_;
};

neigh_entry asking(uint32_t addr) {
  neigh_entry e;
  e.addr = addr;
  std::memset(e.mac, 0xEE, sizeof e.mac);
  e.known = 7;
  return e;
}

TEST_F(NeighbourTable, EntriesCountInTheStatesThatHoldAConfirmedOrGivenAddress) {
  const mac6 zeros{}, broadcast{{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
      multicast{{0x01, 0x00, 0x5e, 0x00, 0x00, 0x01}};
  struct {
    uint16_t state;
    const mac6* mac;
    bool known;
    const char* what;
  } cases[] = {
      {NUD_PERMANENT, nullptr, true, "permanent"},
      {NUD_REACHABLE, nullptr, true, "reachable"},
      {NUD_STALE, nullptr, true, "stale, as a device's that ARPed for us"},
      {NUD_DELAY, nullptr, true, "delay (the kernel probes it at once)"},
      {NUD_PROBE, nullptr, true, "probe"},
      {NUD_NOARP, nullptr, false, "noarp"},
      {NUD_PERMANENT, &zeros, false, "permanent with all zeros"},
      {NUD_PERMANENT, &broadcast, false, "permanent with the broadcast address"},
      {NUD_PERMANENT, &multicast, false, "permanent with a multicast address"},
  };
  std::vector<neigh_entry> asked;
  for (uint32_t i = 0; i < std::size(cases); i++) {
    mac6 own = mac_of(i);
    set("lab0", base + 1 + i, cases[i].mac ? cases[i].mac : &own, cases[i].state);
    asked.push_back(asking(base + 1 + i));
  }
  // Entries the kernel holds without a hardware address, as a lookup under way leaves them.
  ASSERT_EQ(writer_.set("lab0", base + 100, nullptr, NUD_INCOMPLETE), 0);
  set_.insert({"lab0", base + 100});
  asked.push_back(asking(base + 100));
  asked.push_back(asking(base + 101));  // never set

  int32_t expected = 0;
  for (const auto& c : cases) expected += c.known;
  ASSERT_EQ(neigh_lookup(asked.data(), static_cast<int32_t>(asked.size())), expected);
  for (uint32_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(asked[i].known, cases[i].known ? 1 : 0) << cases[i].what;
    mac6 want = cases[i].known ? mac_of(i) : mac6{};
    EXPECT_EQ(std::memcmp(asked[i].mac, want.b, 6), 0) << cases[i].what;
  }
  for (size_t i = std::size(cases); i < asked.size(); i++) {
    EXPECT_EQ(asked[i].known, 0) << "no hardware address, or no entry";
    EXPECT_EQ(std::memcmp(asked[i].mac, mac6{}.b, 6), 0);
  }
}

TEST_F(NeighbourTable, TheLabsFixedEntryIsFoundAndADeletedEntryIsGone) {
  mac6 m = mac_of(1);
  set("lab0", base + 1, &m, NUD_STALE);
  neigh_entry asked[] = {asking(0x0A4D0002), asking(base + 1)};
  ASSERT_EQ(neigh_lookup(asked, 2), 2);
  const uint8_t fixed[6] = {0x02, 0x00, 0x00, 0x00, 0x77, 0x02};
  EXPECT_EQ(std::memcmp(asked[0].mac, fixed, 6), 0) << "10.77.0.2, which lab.sh sets";
  ASSERT_EQ(writer_.del("lab0", base + 1), 0);
  ASSERT_EQ(neigh_lookup(asked, 2), 1);
  EXPECT_EQ(asked[1].known, 0);
}

TEST_F(NeighbourTable, AnAddressOnTwoLinksIsKnownOnlyWhenBothHoldTheSameHardwareAddress) {
  mac6 a = mac_of(1), b = mac_of(2);
  set("lab0", base + 1, &a, NUD_STALE);
  set("lab4", base + 1, &b, NUD_PERMANENT);
  set("lab0", base + 2, &a, NUD_STALE);
  set("lab4", base + 2, &a, NUD_PERMANENT);
  neigh_entry asked[] = {asking(base + 1), asking(base + 2)};
  ASSERT_EQ(neigh_lookup(asked, 2), 1);
  EXPECT_EQ(asked[0].known, 0) << "two devices, one address: which one answered is unknown";
  EXPECT_EQ(std::memcmp(asked[0].mac, mac6{}.b, 6), 0);
  EXPECT_EQ(asked[1].known, 1);
  EXPECT_EQ(std::memcmp(asked[1].mac, a.b, 6), 0);
}

TEST_F(NeighbourTable, ThousandsOfAddressesAreLookedUpInOneQuickRead) {
  constexpr uint32_t set_count = 3000;
  for (uint32_t i = 0; i < set_count; i++) {
    mac6 m = mac_of(i);
    set("lab0", base + 2 * i, &m, NUD_PERMANENT);
  }
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
    mac6 want = n % 2 == 0 ? mac_of(n / 2) : mac6{};
    ASSERT_EQ(std::memcmp(e.mac, want.b, 6), 0) << n;
  }
}

TEST_F(NeighbourTable, ATableThatChangesDuringLookupsGivesOnlyHardwareAddressesItHeld) {
  constexpr uint32_t count = 200;
  // Each address takes one of two hardware addresses of its own, or none, again and again.
  std::atomic<bool> stop{false};
  std::atomic<int> changes{0};
  std::thread churn([&] {
    neigh_writer w;
    for (uint32_t round = 0; !stop.load(std::memory_order_relaxed); round++) {
      for (uint32_t i = 0; i < count; i++) {
        if ((i + round) % 3 == 2) {
          w.del("lab0", base + i);
        } else {
          mac6 m = mac_of(i, (i + round) % 3 == 0 ? 0x02 : 0x06);
          w.set("lab0", base + i, &m, NUD_STALE);
        }
        changes.fetch_add(1, std::memory_order_relaxed);
      }
    }
    for (uint32_t i = 0; i < count; i++) w.del("lab0", base + i);
  });
  std::vector<neigh_entry> asked(count);
  int reads = 0, unreadable = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < until) {
    for (uint32_t i = 0; i < count; i++) asked[i] = asking(base + i);
    int32_t known = neigh_lookup(asked.data(), count);
    reads++;
    int32_t counted = 0;
    for (uint32_t i = 0; i < count; i++) {
      counted += asked[i].known;
      if (!asked[i].known) {
        EXPECT_EQ(std::memcmp(asked[i].mac, mac6{}.b, 6), 0);
        continue;
      }
      mac6 one = mac_of(i, 0x02), other = mac_of(i, 0x06);
      EXPECT_TRUE(std::memcmp(asked[i].mac, one.b, 6) == 0 ||
                  std::memcmp(asked[i].mac, other.b, 6) == 0)
          << "address " << i << " was never given that hardware address";
    }
    if (known < 0) {
      unreadable++;
      EXPECT_EQ(counted, 0) << "a table that cannot be read gives nothing";
    } else {
      EXPECT_EQ(known, counted);
    }
  }
  stop = true;
  churn.join();
  EXPECT_GT(changes.load(), static_cast<int>(count));
  EXPECT_LT(unreadable, reads) << "some reads succeed while the table changes";
  std::printf("%d reads, %d of them unreadable, during %d changes\n", reads, unreadable,
              changes.load());
}

}  // namespace
