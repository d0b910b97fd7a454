#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "net/ip.h"
#include "net/neigh.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/sockets_started.h"

// What either system's table gives inside the lab, whose one fixed entry is
// 10.77.0.2 (lab.sh) and whose other addresses have none.

namespace {

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

const uint8_t no_mac[6] = {};
const uint8_t fixed_mac[6] = {0x02, 0x00, 0x00, 0x00, 0x77, 0x02};

neigh_entry asking(uint32_t addr) {
  neigh_entry e;
  e.addr = addr;
  std::memset(e.mac, 0xEE, sizeof e.mac);
  e.known = 7;
  return e;
}

TEST(NeighbourLookup, NothingAskedReadsNothingAndBadArgumentsAreRefused) {
  neigh_entry e = asking(ip(10, 77, 0, 2));
  EXPECT_EQ(neigh_lookup(&e, 0), 0);
  EXPECT_EQ(e.known, 7) << "nothing asked, nothing written";
  EXPECT_EQ(neigh_lookup(nullptr, 0), 0);
  EXPECT_EQ(neigh_lookup(&e, -1), -1);
  EXPECT_EQ(neigh_lookup(nullptr, 3), -1);
}

TEST(NeighbourLookup, AddressesWithoutAnEntryAreUnknownNeverGuessed) {
  REQUIRE_LAB();
  neigh_entry asked[] = {
      asking(ip(10, 77, 0, 3)),        // on the lab's network, no such host
      asking(ip(10, 89, 1, 2)),        // behind the default route, no such host
      asking(ip(127, 0, 0, 1)),        // loopback
      asking(ip(10, 77, 0, 1)),        // the lab's own address
      asking(ip(255, 255, 255, 255)),  // the limited broadcast
      asking(ip(10, 77, 0, 255)),      // the network's broadcast
      asking(ip(224, 0, 0, 1)),        // multicast
      asking(0),                       // no address
  };
  int32_t n = static_cast<int32_t>(std::size(asked));
  EXPECT_EQ(neigh_lookup(asked, n), 0);
  for (const neigh_entry& e : asked) {
    EXPECT_EQ(e.known, 0) << std::hex << e.addr;
    EXPECT_EQ(std::memcmp(e.mac, no_mac, 6), 0) << std::hex << e.addr;
  }
}

TEST(NeighbourLookup, TheLabsFixedEntryIsKnownEachTimeItIsAsked) {
  REQUIRE_LAB();
  neigh_entry asked[] = {asking(ip(10, 77, 0, 2)), asking(ip(10, 77, 0, 3)),
                         asking(ip(10, 77, 0, 2))};
  int32_t known = neigh_lookup(asked, 3);
  EXPECT_EQ(known, 2);
  for (int i : {0, 2}) {
    EXPECT_EQ(asked[i].known, 1);
    EXPECT_EQ(std::memcmp(asked[i].mac, fixed_mac, 6), 0);
  }
  EXPECT_EQ(asked[1].known, 0);
}

TEST(NeighbourLookup, AnAddressBeingAskedForThatNobodyAnswersIsUnknown) {
  REQUIRE_LAB();
  // A datagram to a silent host on the lab's network starts an ARP request
  // that nothing answers: the table holds the address without a hardware one.
  int32_t any = 0;
  int32_t s = udp_open(&any, 0);
  ASSERT_GT(s, 0);
  sockaddr_in to;
  ASSERT_EQ(ip_resolve(&to, "10.77.0.4", 9999), 0);
  EXPECT_EQ(udp_send(s, "?", 1, &to), 1);
  udp_close(s);
  neigh_entry asked[] = {asking(ip(10, 77, 0, 4))};
  EXPECT_EQ(neigh_lookup(asked, 1), 0);
  EXPECT_EQ(asked[0].known, 0);
  EXPECT_EQ(std::memcmp(asked[0].mac, no_mac, 6), 0);
}

TEST(NeighbourLookup, ThousandsOfAddressesWithoutEntriesEndInABoundedTime) {
  REQUIRE_LAB();
  std::vector<neigh_entry> asked;
  for (uint32_t i = 0; i < 4000; i++) asked.push_back(asking(ip(10, 89, 0, 0) + i));
  asked.push_back(asking(ip(10, 77, 0, 2)));
  auto t0 = std::chrono::steady_clock::now();
  int32_t known = neigh_lookup(asked.data(), static_cast<int32_t>(asked.size()));
  auto took = std::chrono::steady_clock::now() - t0;
  // Windows asks the network for a few of them, within about two seconds.
  EXPECT_LT(took, std::chrono::seconds(8));
  EXPECT_EQ(known, 1);
  for (size_t i = 0; i + 1 < asked.size(); i++) ASSERT_EQ(asked[i].known, 0) << i;
  EXPECT_EQ(asked.back().known, 1);
}

}  // namespace
