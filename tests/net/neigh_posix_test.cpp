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

constexpr uint32_t seq = 7;
constexpr uint32_t asked = 0x0A4D0009;  // 10.77.0.9
const uint8_t mac_a[6] = {0x00, 0x1b, 0x21, 0x0a, 0x4d, 0x09};
const uint8_t mac_b[6] = {0x02, 0x4b, 0x54, 0x41, 0x00, 0x64};

struct datagram {
  std::vector<uint8_t> bytes;

  // Appends a message and returns its offset; its length covers what follows until the next.
  size_t message(uint16_t type, uint16_t flags = 0, uint32_t with_seq = seq) {
    size_t at = bytes.size();
    nlmsghdr h{};
    h.nlmsg_type = type;
    h.nlmsg_flags = flags;
    h.nlmsg_seq = with_seq;
    last = at;
    append(&h, sizeof h);
    return at;
  }
  void append(const void* data, size_t len) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + len);
    while (bytes.size() % NLMSG_ALIGNTO) bytes.push_back(0);
    if (last != npos) fix_length();
  }
  void attr(uint16_t type, const void* data, size_t len) {
    rtattr a{};
    a.rta_type = type;
    a.rta_len = static_cast<uint16_t>(RTA_LENGTH(len));
    size_t at = bytes.size();
    bytes.resize(at + RTA_SPACE(len), 0);
    std::memcpy(&bytes[at], &a, sizeof a);
    std::memcpy(&bytes[at + RTA_LENGTH(0)], data, len);
    fix_length();
  }
  void neighbour(uint16_t state, const void* mac, size_t mac_len, uint32_t addr = asked,
                 uint8_t family = AF_INET, uint8_t nd_flags = 0, uint16_t msg_flags = NLM_F_MULTI) {
    message(RTM_NEWNEIGH, msg_flags);
    ndmsg nd{};
    nd.ndm_family = family;
    nd.ndm_state = state;
    nd.ndm_flags = nd_flags;
    nd.ndm_ifindex = 2;
    append(&nd, sizeof nd);
    uint32_t dst = htonl(addr);
    attr(NDA_DST, &dst, sizeof dst);
    if (mac) attr(NDA_LLADDR, mac, mac_len);
  }
  void done(int32_t error = 0, uint16_t flags = NLM_F_MULTI) {
    message(NLMSG_DONE, flags);
    append(&error, sizeof error);
  }
  void error(int32_t code) {
    message(NLMSG_ERROR);
    nlmsgerr e{};
    e.error = code;
    append(&e, sizeof e);
  }
  void fix_length() {
    uint32_t len = static_cast<uint32_t>(bytes.size() - last);
    std::memcpy(&bytes[last], &len, sizeof len);
  }
  // Sets the last message's length field as given, whatever it holds.
  void set_length(uint32_t len) { std::memcpy(&bytes[last], &len, sizeof len); }

  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t last = npos;
};

struct parsed {
  int32_t rc;
  uint8_t seen;
  uint8_t mac[6];
};

parsed parse(const datagram& d, uint32_t addr = asked) {
  neigh_entry e{};
  e.addr = addr;
  neigh_table t;
  EXPECT_EQ(neigh_table_ask(&t, &e, 1), 0);
  // A copy of exactly the datagram's size, so that a read past it is a sanitizer's finding.
  void* exact = std::malloc(d.bytes.size() + 1);
  if (!d.bytes.empty()) std::memcpy(exact, d.bytes.data(), d.bytes.size());
  parsed p{};
  p.rc = neigh_netlink_parse(&t, exact, d.bytes.size(), seq);
  std::free(exact);
  p.seen = t.seen[0];
  std::memcpy(p.mac, t.macs, 6);
  neigh_table_free(&t);
  return p;
}

TEST(NeighbourDump, OnlyConfirmedOrGivenStatesWithAUsableHardwareAddressCount) {
  const uint8_t zeros[6] = {};
  const uint8_t broadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  const uint8_t multicast[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01};
  const uint8_t long_addr[8] = {0x00, 0x1b, 0x21, 0x0a, 0x4d, 0x09, 0x00, 0x00};
  struct {
    uint16_t state;
    const uint8_t* mac;
    size_t mac_len;
    bool counts;
    const char* what;
  } cases[] = {
      {NUD_REACHABLE, mac_a, 6, true, "reachable"},
      {NUD_STALE, mac_a, 6, true, "stale, as after a device ARPs for us"},
      {NUD_DELAY, mac_a, 6, true, "delay"},
      {NUD_PROBE, mac_a, 6, true, "probe"},
      {NUD_PERMANENT, mac_a, 6, true, "permanent"},
      {NUD_INCOMPLETE, mac_a, 6, false, "incomplete"},
      {NUD_FAILED, mac_a, 6, false, "failed"},
      {NUD_NOARP, mac_a, 6, false, "noarp"},
      {NUD_NONE, mac_a, 6, false, "none"},
      {NUD_PERMANENT | NUD_NOARP, mac_a, 6, false, "permanent and noarp together"},
      {NUD_STALE, nullptr, 0, false, "no hardware address at all"},
      {NUD_STALE, zeros, 6, false, "all zeros"},
      {NUD_STALE, broadcast, 6, false, "the broadcast address"},
      {NUD_STALE, multicast, 6, false, "a multicast address"},
      {NUD_STALE, mac_a, 5, false, "five bytes"},
      {NUD_STALE, long_addr, 8, false, "eight bytes (not Ethernet)"},
  };
  for (const auto& c : cases) {
    datagram d;
    d.neighbour(c.state, c.mac, c.mac_len);
    d.done();
    parsed p = parse(d);
    EXPECT_EQ(p.rc, neigh_dump_done) << c.what;
    EXPECT_EQ(p.seen, c.counts ? 1 : 0) << c.what;
    if (c.counts) {
      EXPECT_EQ(std::memcmp(p.mac, c.mac, 6), 0) << c.what;
    }
  }
}

TEST(NeighbourDump, OtherFamiliesProxiesAndOtherAddressesAreNotTaken) {
  struct {
    uint8_t family;
    uint8_t nd_flags;
    uint32_t addr;
    const char* what;
  } cases[] = {
      {AF_INET6, 0, asked, "an IPv6 entry"},
      {AF_BRIDGE, 0, asked, "a bridge's forwarding entry"},
      {AF_INET, NTF_PROXY, asked, "a proxy entry"},
      {AF_INET, 0, asked + 1, "another address"},
  };
  for (const auto& c : cases) {
    datagram d;
    d.neighbour(NUD_STALE, mac_a, 6, c.addr, c.family, c.nd_flags);
    d.done();
    parsed p = parse(d);
    EXPECT_EQ(p.rc, neigh_dump_done) << c.what;
    EXPECT_EQ(p.seen, 0) << c.what;
  }
}

TEST(NeighbourDump, TwoLinksWithTwoHardwareAddressesMakeTheAddressUnknownOneTwiceDoesNot) {
  datagram two;
  two.neighbour(NUD_STALE, mac_a, 6);
  two.neighbour(NUD_PERMANENT, mac_b, 6);
  two.neighbour(NUD_STALE, mac_a, 6);  // a third link that agrees with the first changes nothing
  two.done();
  EXPECT_EQ(parse(two).seen, 2);

  datagram same;
  same.neighbour(NUD_STALE, mac_a, 6);
  same.neighbour(NUD_REACHABLE, mac_a, 6);
  same.done();
  parsed p = parse(same);
  EXPECT_EQ(p.seen, 1);
  EXPECT_EQ(std::memcmp(p.mac, mac_a, 6), 0);

  // An entry with no usable address on the other link does not spoil the good one.
  datagram failed_elsewhere;
  failed_elsewhere.neighbour(NUD_FAILED, nullptr, 0);
  failed_elsewhere.neighbour(NUD_STALE, mac_b, 6);
  failed_elsewhere.done();
  p = parse(failed_elsewhere);
  EXPECT_EQ(p.seen, 1);
  EXPECT_EQ(std::memcmp(p.mac, mac_b, 6), 0);
}

TEST(NeighbourDump, TheEndTheKernelsErrorsAndAChangedTableAreTold) {
  struct {
    void (*build)(datagram*);
    int32_t rc;
    const char* what;
  } cases[] = {
      {[](datagram* d) { d->neighbour(NUD_STALE, mac_a, 6); }, neigh_dump_more,
       "no end yet: the next datagram follows"},
      {[](datagram* d) { d->done(); }, neigh_dump_done, "the end"},
      {[](datagram* d) { d->done(-EINTR); }, neigh_dump_failed, "an end that carries an error"},
      {[](datagram* d) { d->error(-EPERM); }, neigh_dump_failed, "an error instead of a dump"},
      {[](datagram* d) { d->error(0); }, neigh_dump_more, "an acknowledgement is no end"},
      {[](datagram* d) { d->message(NLMSG_ERROR); }, neigh_dump_failed,
       "an error message too short for its code"},
      {[](datagram* d) { d->message(NLMSG_OVERRUN); }, neigh_dump_interrupted,
       "messages were lost"},
      {[](datagram* d) { d->neighbour(NUD_STALE, mac_a, 6, asked, AF_INET, 0, NLM_F_DUMP_INTR); },
       neigh_dump_interrupted, "the table changed during the dump"},
      {[](datagram* d) { d->done(0, NLM_F_DUMP_INTR); }, neigh_dump_interrupted,
       "the table changed, said at the end"},
      {[](datagram* d) {
         d->message(RTM_NEWNEIGH, 0, seq + 1);
         d->done();
       },
       neigh_dump_done, "a message of another request is passed over"},
      {[](datagram* d) { d->message(NLMSG_DONE, 0, seq + 1); }, neigh_dump_more,
       "another request's end is not ours"},
  };
  for (const auto& c : cases) {
    datagram d;
    c.build(&d);
    EXPECT_EQ(parse(d).rc, c.rc) << c.what;
  }
}

TEST(NeighbourDump, MalformedLengthsAreNeverReadPastAndTheirEntriesNotTaken) {
  struct {
    void (*build)(datagram*);
    int32_t rc;
    const char* what;
  } cases[] = {
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         d->set_length(static_cast<uint32_t>(d->bytes.size() + 64));
       },
       neigh_dump_failed, "a message longer than the datagram"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         d->set_length(8);
       },
       neigh_dump_failed, "a message shorter than its header"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         d->bytes.pop_back();
         d->bytes.pop_back();
       },
       neigh_dump_failed, "a datagram cut inside its last message"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         d->bytes.push_back(0);
         d->bytes.push_back(0);
         d->bytes.push_back(0);
         d->bytes.push_back(0);
       },
       neigh_dump_failed, "bytes after the last message that make none"},
      {[](datagram* d) {
         d->message(RTM_NEWNEIGH);
         uint8_t part[4] = {AF_INET, 0, 0, 0};
         d->append(part, sizeof part);
         d->done();
       },
       neigh_dump_done, "an entry shorter than its fixed part is passed over"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         // The hardware address attribute says it runs past the message.
         size_t lladdr = d->bytes.size() - RTA_SPACE(6);
         uint16_t len = 200;
         std::memcpy(&d->bytes[lladdr], &len, sizeof len);
         d->done();
       },
       neigh_dump_done, "an attribute longer than its message is passed over"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         size_t lladdr = d->bytes.size() - RTA_SPACE(6);
         uint16_t len = 2;
         std::memcpy(&d->bytes[lladdr], &len, sizeof len);
         d->done();
       },
       neigh_dump_done, "an attribute shorter than its own header"},
      {[](datagram* d) {
         d->neighbour(NUD_STALE, mac_a, 6);
         uint8_t broken[4] = {200, 0, 0, 0};
         d->append(broken, sizeof broken);
         d->done();
       },
       neigh_dump_done, "good attributes followed by one that runs past its message"},
      {[](datagram* d) {
         d->message(RTM_NEWNEIGH, NLM_F_MULTI);
         ndmsg nd{};
         nd.ndm_family = AF_INET;
         nd.ndm_state = NUD_STALE;
         d->append(&nd, sizeof nd);
         uint8_t dst[3] = {10, 77, 0};
         d->attr(NDA_DST, dst, sizeof dst);
         d->attr(NDA_LLADDR, mac_a, 6);
         d->done();
       },
       neigh_dump_done, "an address of three bytes"},
      {[](datagram* d) {
         d->message(RTM_NEWNEIGH, NLM_F_MULTI);
         ndmsg nd{};
         nd.ndm_family = AF_INET;
         nd.ndm_state = NUD_STALE;
         d->append(&nd, sizeof nd);
         d->attr(NDA_LLADDR, mac_a, 6);
         d->done();
       },
       neigh_dump_done, "a hardware address without an address"},
  };
  for (const auto& c : cases) {
    datagram d;
    c.build(&d);
    parsed p = parse(d);
    EXPECT_EQ(p.rc, c.rc) << c.what;
    // After a failure nothing of the datagram is used at all.
    if (c.rc != neigh_dump_failed) {
      EXPECT_EQ(p.seen, 0) << c.what;
    }
  }
  EXPECT_EQ(parse(datagram{}).rc, neigh_dump_more) << "an empty datagram";
}

TEST(NeighbourDump, ManyEntriesInOneDatagramAreEachFound) {
  std::vector<neigh_entry> asked_for(300);
  datagram d;
  for (uint32_t i = 0; i < asked_for.size(); i++) {
    asked_for[i].addr = 0x0A580000 + i * 7;
    uint8_t mac[6] = {0x02, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    // Every third address is left out of the dump.
    if (i % 3 != 0) d.neighbour(NUD_STALE, mac, 6, asked_for[i].addr);
  }
  d.done();
  neigh_table t;
  ASSERT_EQ(neigh_table_ask(&t, asked_for.data(), static_cast<int32_t>(asked_for.size())), 0);
  EXPECT_EQ(neigh_netlink_parse(&t, d.bytes.data(), d.bytes.size(), seq), neigh_dump_done);
  for (int32_t i = 0; i < t.count; i++) {
    uint32_t n = (t.addrs[i] - 0x0A580000) / 7;
    EXPECT_EQ(t.seen[i], n % 3 != 0 ? 1 : 0) << n;
    if (n % 3 != 0) {
      EXPECT_EQ(t.macs[i * 6 + 4], n >> 8);
      EXPECT_EQ(t.macs[i * 6 + 5], n & 0xff);
    }
  }
  neigh_table_free(&t);
}

}  // namespace
