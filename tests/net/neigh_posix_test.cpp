#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/neigh_sys.h"

// Made-up rtnetlink datagrams, as a kernel (or a broken one) might send them,
// read by the parser alone: nothing here reaches the system.

namespace {

using bytes = std::vector<uint8_t>;
constexpr uint32_t seq = 7;
constexpr uint32_t asked = 0x0A4D0009;  // 10.77.0.9
const uint8_t mac_a[6] = {0x00, 0x1b, 0x21, 0x0a, 0x4d, 0x09};
const uint8_t mac_b[6] = {0x02, 0x4b, 0x54, 0x41, 0x00, 0x64};

void put(bytes* b, const void* data, size_t len) {
  b->insert(b->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + len);
  while (b->size() % NLMSG_ALIGNTO) b->push_back(0);
}
bytes attr(uint16_t type, const void* data, size_t len) {
  rtattr a{static_cast<uint16_t>(RTA_LENGTH(len)), type};
  bytes b;
  put(&b, &a, sizeof a);
  put(&b, data, len);
  return b;
}
bytes entry(uint16_t state, const uint8_t* mac, size_t mac_len, uint32_t addr = asked,
            uint8_t family = AF_INET, uint8_t flags = 0) {
  ndmsg nd{};
  nd.ndm_family = family;
  nd.ndm_state = state;
  nd.ndm_flags = flags;
  bytes b;
  put(&b, &nd, sizeof nd);
  uint32_t dst = htonl(addr);
  bytes a = attr(NDA_DST, &dst, sizeof dst);
  b.insert(b.end(), a.begin(), a.end());
  if (mac) a = attr(NDA_LLADDR, mac, mac_len), b.insert(b.end(), a.begin(), a.end());
  return b;
}
// One message whose length field counts its body.
void msg(bytes* b, uint16_t type, const bytes& body = {}, uint16_t flags = 0, uint32_t s = seq) {
  nlmsghdr h{static_cast<uint32_t>(NLMSG_LENGTH(body.size())), type, flags, s, 0};
  put(b, &h, sizeof h);
  put(b, body.data(), body.size());
}
void done(bytes* b, int32_t error = 0, uint16_t flags = 0) {
  msg(b, NLMSG_DONE,
      bytes(reinterpret_cast<uint8_t*>(&error), reinterpret_cast<uint8_t*>(&error + 1)), flags);
}

struct parsed {
  int32_t rc;
  uint8_t seen;
  uint8_t mac[6];
};

parsed parse(const bytes& d) {
  neigh_entry e{asked, {}, 0};
  neigh_table t;
  EXPECT_EQ(neigh_table_ask(&t, &e, 1), 0);
  // A copy of exactly the datagram's size, so that a read past it is a sanitizer's finding.
  void* exact = std::malloc(d.size() + 1);
  if (!d.empty()) std::memcpy(exact, d.data(), d.size());
  parsed p{neigh_netlink_parse(&t, exact, d.size(), seq), t.seen[0], {}};
  std::memcpy(p.mac, t.macs, 6);
  std::free(exact);
  neigh_table_free(&t);
  return p;
}

TEST(NeighbourDump, OnlyConfirmedOrGivenEntriesOfIPv4WithAUsableHardwareAddressCount) {
  const uint8_t zeros[6] = {}, broadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
                multicast[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01}, long_addr[8] = {0x00, 0x1b};
  struct {
    bytes body;
    bool counts;
    const char* what;
  } cases[] = {
      {entry(NUD_REACHABLE, mac_a, 6), true, "reachable"},
      {entry(NUD_STALE, mac_a, 6), true, "stale, as after a device ARPs for us"},
      {entry(NUD_DELAY, mac_a, 6), true, "delay"},
      {entry(NUD_PROBE, mac_a, 6), true, "probe"},
      {entry(NUD_PERMANENT, mac_a, 6), true, "permanent"},
      {entry(NUD_INCOMPLETE, mac_a, 6), false, "incomplete"},
      {entry(NUD_FAILED, mac_a, 6), false, "failed"},
      {entry(NUD_NOARP, mac_a, 6), false, "noarp"},
      {entry(NUD_NONE, mac_a, 6), false, "none"},
      {entry(NUD_PERMANENT | NUD_NOARP, mac_a, 6), false, "permanent and noarp together"},
      {entry(NUD_STALE, nullptr, 0), false, "no hardware address at all"},
      {entry(NUD_STALE, zeros, 6), false, "all zeros"},
      {entry(NUD_STALE, broadcast, 6), false, "the broadcast address"},
      {entry(NUD_STALE, multicast, 6), false, "a multicast address"},
      {entry(NUD_STALE, mac_a, 5), false, "five bytes"},
      {entry(NUD_STALE, long_addr, 8), false, "eight bytes (not Ethernet)"},
      {entry(NUD_STALE, mac_a, 6, asked, AF_INET6), false, "an IPv6 entry"},
      {entry(NUD_STALE, mac_a, 6, asked, AF_BRIDGE), false, "a bridge's forwarding entry"},
      {entry(NUD_STALE, mac_a, 6, asked, AF_INET, NTF_PROXY), false, "a proxy entry"},
      {entry(NUD_STALE, mac_a, 6, asked + 1), false, "another address"},
  };
  for (const auto& c : cases) {
    bytes d;
    msg(&d, RTM_NEWNEIGH, c.body, NLM_F_MULTI);
    done(&d);
    parsed p = parse(d);
    EXPECT_EQ(p.rc, neigh_dump_done) << c.what;
    EXPECT_EQ(p.seen, c.counts ? 1 : 0) << c.what;
    EXPECT_EQ(std::memcmp(p.mac, c.counts ? mac_a : zeros, 6), 0) << c.what;
  }
}

TEST(NeighbourDump, AnAddressWithTwoHardwareAddressesOnTwoLinksIsUnknownOneTwiceIsNot) {
  struct {
    std::vector<bytes> entries;
    uint8_t seen;
    const uint8_t* mac;
    const char* what;
  } cases[] = {
      {{entry(NUD_STALE, mac_a, 6), entry(NUD_PERMANENT, mac_b, 6), entry(NUD_STALE, mac_a, 6)},
       2,
       nullptr,
       "two devices; a third link agreeing with the first changes nothing"},
      {{entry(NUD_STALE, mac_a, 6), entry(NUD_REACHABLE, mac_a, 6)}, 1, mac_a, "one, twice"},
      {{entry(NUD_FAILED, nullptr, 0), entry(NUD_STALE, mac_b, 6)},
       1,
       mac_b,
       "a failed entry on another link spoils nothing"},
  };
  for (const auto& c : cases) {
    bytes d;
    for (const bytes& e : c.entries) msg(&d, RTM_NEWNEIGH, e, NLM_F_MULTI);
    done(&d);
    parsed p = parse(d);
    EXPECT_EQ(p.seen, c.seen) << c.what;
    EXPECT_TRUE(!c.mac || std::memcmp(p.mac, c.mac, 6) == 0) << c.what;
  }
}

// Each case builds a datagram; after a failure nothing of it may be used.
struct dump_case {
  void (*build)(bytes*);
  int32_t rc;
  const char* what;
};

void expect_each(const dump_case* cases, size_t n) {
  for (size_t i = 0; i < n; i++) {
    bytes d;
    cases[i].build(&d);
    parsed p = parse(d);
    EXPECT_EQ(p.rc, cases[i].rc) << cases[i].what;
    EXPECT_TRUE(p.rc == neigh_dump_failed || p.seen == 0) << cases[i].what;
  }
}

TEST(NeighbourDump, TheEndTheKernelsErrorsAndAChangedTableAreTold) {
  static const dump_case cases[] = {
      {[](bytes*) {}, neigh_dump_more, "an empty datagram"},
      {[](bytes* d) { done(d); }, neigh_dump_done, "the end"},
      {[](bytes* d) { done(d, -EINTR); }, neigh_dump_failed, "an end that carries an error"},
      {[](bytes* d) {
         nlmsgerr e{-EPERM, {}};
         msg(d, NLMSG_ERROR,
             bytes(reinterpret_cast<uint8_t*>(&e), reinterpret_cast<uint8_t*>(&e + 1)));
       },
       neigh_dump_failed, "an error instead of a dump"},
      {[](bytes* d) {
         nlmsgerr e{};
         msg(d, NLMSG_ERROR,
             bytes(reinterpret_cast<uint8_t*>(&e), reinterpret_cast<uint8_t*>(&e + 1)));
       },
       neigh_dump_more, "an acknowledgement is no end"},
      {[](bytes* d) { msg(d, NLMSG_ERROR); }, neigh_dump_failed, "an error too short for its code"},
      {[](bytes* d) { msg(d, NLMSG_OVERRUN); }, neigh_dump_interrupted, "messages were lost"},
      {[](bytes* d) { msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6), NLM_F_DUMP_INTR); },
       neigh_dump_interrupted, "the table changed during the dump"},
      {[](bytes* d) { done(d, 0, NLM_F_DUMP_INTR); }, neigh_dump_interrupted,
       "the table changed, said at the end"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6), 0, seq + 1);
         done(d);
       },
       neigh_dump_done, "an entry of another request is passed over"},
      {[](bytes* d) { msg(d, NLMSG_DONE, {}, 0, seq + 1); }, neigh_dump_more,
       "another request's end is not ours"},
  };
  expect_each(cases, std::size(cases));
}

TEST(NeighbourDump, MalformedLengthsAreNeverReadPastAndTheirEntriesNotTaken) {
  // The entry's hardware address attribute starts this far from its end.
  static constexpr size_t lladdr_from_end = RTA_SPACE(6);
  static const dump_case cases[] = {
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         (*d)[0] += 64;
       },
       neigh_dump_failed, "a message longer than the datagram"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         (*d)[0] = 8;
       },
       neigh_dump_failed, "a message shorter than its header"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         d->pop_back();
         d->pop_back();
       },
       neigh_dump_failed, "a datagram cut inside its last message"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         d->insert(d->end(), 4, 0);
       },
       neigh_dump_failed, "bytes after the last message that make none"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, bytes{AF_INET, 0, 0, 0});
         done(d);
       },
       neigh_dump_done, "an entry shorter than its fixed part is passed over"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         (*d)[d->size() - lladdr_from_end] = 200;
         done(d);
       },
       neigh_dump_done, "an attribute longer than its message"},
      {[](bytes* d) {
         msg(d, RTM_NEWNEIGH, entry(NUD_STALE, mac_a, 6));
         (*d)[d->size() - lladdr_from_end] = 2;
         done(d);
       },
       neigh_dump_done, "an attribute shorter than its own header"},
      {[](bytes* d) {
         bytes body = entry(NUD_STALE, mac_a, 6);
         body.insert(body.end(), {200, 0, 0, 0});
         msg(d, RTM_NEWNEIGH, body);
         done(d);
       },
       neigh_dump_done, "good attributes followed by one that runs past its message"},
      {[](bytes* d) {
         bytes body = entry(NUD_STALE, mac_a, 6);
         body[sizeof(ndmsg)] -= 1;  // the address attribute holds three bytes
         msg(d, RTM_NEWNEIGH, body);
         done(d);
       },
       neigh_dump_done, "an address of three bytes"},
      {[](bytes* d) {
         ndmsg nd{};
         nd.ndm_family = AF_INET;
         nd.ndm_state = NUD_STALE;
         bytes body;
         put(&body, &nd, sizeof nd);
         bytes a = attr(NDA_LLADDR, mac_a, 6);
         body.insert(body.end(), a.begin(), a.end());
         msg(d, RTM_NEWNEIGH, body);
         done(d);
       },
       neigh_dump_done, "a hardware address without an address"},
  };
  expect_each(cases, std::size(cases));
}

TEST(NeighbourDump, ManyEntriesInOneDatagramAreEachFound) {
  std::vector<neigh_entry> want(300);
  bytes d;
  for (uint32_t i = 0; i < want.size(); i++) {
    want[i].addr = 0x0A580000 + i * 7;
    uint8_t mac[6] = {0x02, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    // Every third address is left out of the dump.
    if (i % 3 != 0) msg(&d, RTM_NEWNEIGH, entry(NUD_STALE, mac, 6, want[i].addr), NLM_F_MULTI);
  }
  done(&d);
  neigh_table t;
  ASSERT_EQ(neigh_table_ask(&t, want.data(), static_cast<int32_t>(want.size())), 0);
  EXPECT_EQ(neigh_netlink_parse(&t, d.data(), d.size(), seq), neigh_dump_done);
  for (int32_t i = 0; i < t.count; i++) {
    uint32_t n = (t.addrs[i] - 0x0A580000) / 7;
    EXPECT_EQ(t.seen[i], n % 3 != 0 ? 1 : 0) << n;
    EXPECT_EQ(t.macs[i * 6 + 5], n % 3 != 0 ? (n & 0xff) : 0) << n;
  }
  neigh_table_free(&t);
}

}  // namespace
