#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "net/neigh_sys.h"

namespace {

// One datagram of a dump: the kernel fills at most 32 KiB, or a page more
// than the reader's last buffer; twice that leaves room.
constexpr size_t dump_buffer_size = 64 * 1024;
// A table far beyond any kernel's default limit still ends; a dump that does not is refused.
constexpr size_t dump_bytes_limit = 64u << 20;
constexpr int dump_tries = 4;
constexpr int reply_wait_s = 2;

// Entries whose hardware address the kernel has confirmed or was given.
constexpr uint16_t usable_states =
    NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
constexpr uint16_t unusable_states = NUD_INCOMPLETE | NUD_FAILED | NUD_NOARP;

// One RTM_NEWNEIGH: the row it holds, if usable; a malformed one is passed over.
void take_neighbour(neigh_table* t, const nlmsghdr* h) {
  if (h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) return;
  const ndmsg* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
  if (nd->ndm_family != AF_INET || (nd->ndm_flags & NTF_PROXY)) return;
  if (!(nd->ndm_state & usable_states) || (nd->ndm_state & unusable_states)) return;
  int left = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
  const rtattr* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(nd) +
                                                    NLMSG_ALIGN(sizeof(ndmsg)));
  bool have_dst = false;
  uint32_t dst = 0;
  const uint8_t* mac = nullptr;
  size_t mac_len = 0;
  for (; RTA_OK(a, left); a = RTA_NEXT(a, left)) {
    size_t payload = RTA_PAYLOAD(a);
    if (a->rta_type == NDA_DST) {
      if (payload != sizeof dst) return;
      std::memcpy(&dst, RTA_DATA(a), sizeof dst);
      have_dst = true;
    } else if (a->rta_type == NDA_LLADDR) {
      mac = static_cast<const uint8_t*>(RTA_DATA(a));
      mac_len = payload;
    }
  }
  // Bytes left that make no attribute: the message cannot be trusted.
  if (left >= static_cast<int>(sizeof(rtattr)) || !have_dst) return;
  neigh_table_add(t, ntohl(dst), mac, mac_len);
}

// Asks the kernel for every IPv4 neighbour entry, of every link.
bool ask_dump(int s, uint32_t seq) {
  struct {
    nlmsghdr h;
    ndmsg nd;
  } req;
  std::memset(&req, 0, sizeof req);
  req.h.nlmsg_len = NLMSG_LENGTH(sizeof req.nd);
  req.h.nlmsg_type = RTM_GETNEIGH;
  req.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  req.h.nlmsg_seq = seq;
  req.nd.ndm_family = AF_INET;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  ssize_t sent =
      sendto(s, &req, req.h.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
  return sent == static_cast<ssize_t>(req.h.nlmsg_len);
}

// One whole dump on a socket of its own, so that nothing of an earlier one is read.
int32_t dump_once(neigh_table* t, void* buf, uint32_t seq) {
  int s = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (s < 0) return neigh_dump_failed;
  timeval wait{reply_wait_s, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  int32_t rc = ask_dump(s, seq) ? neigh_dump_more : neigh_dump_failed;
  size_t total = 0;
  while (rc == neigh_dump_more) {
    sockaddr_nl from{};
    iovec iov{buf, dump_buffer_size};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t got = recvmsg(s, &msg, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == ENOBUFS) {
      rc = neigh_dump_interrupted;  // messages were lost: the dump is incomplete
    } else if (got <= 0 || (msg.msg_flags & MSG_TRUNC)) {
      rc = neigh_dump_failed;
    } else if ((total += static_cast<size_t>(got)) > dump_bytes_limit) {
      rc = neigh_dump_failed;
    } else if (from.nl_pid == 0) {
      rc = neigh_netlink_parse(t, buf, static_cast<size_t>(got), seq);
    }
  }
  close(s);
  return rc;
}

// NLMSG_OK and NLMSG_NEXT without their mixed signed and unsigned sizes.
bool message_fits(const nlmsghdr* h, size_t left) {
  return left >= sizeof(nlmsghdr) && h->nlmsg_len >= sizeof(nlmsghdr) && h->nlmsg_len <= left;
}

const nlmsghdr* next_message(const nlmsghdr* h, size_t* left) {
  size_t step = NLMSG_ALIGN(h->nlmsg_len);
  if (step > *left) step = *left;  // the last message's padding may be missing
  *left -= step;
  return reinterpret_cast<const nlmsghdr*>(reinterpret_cast<const char*>(h) + step);
}

}  // namespace

int32_t neigh_netlink_parse(neigh_table* t, const void* data, size_t len, uint32_t seq) {
  if (len > dump_bytes_limit) return neigh_dump_failed;
  size_t left = len;
  const nlmsghdr* h = static_cast<const nlmsghdr*>(data);
  int32_t rc = neigh_dump_more;
  for (; rc == neigh_dump_more && message_fits(h, left); h = next_message(h, &left)) {
    if (h->nlmsg_seq != seq) continue;
    if (h->nlmsg_flags & NLM_F_DUMP_INTR) return neigh_dump_interrupted;
    if (h->nlmsg_type == NLMSG_DONE) {
      int32_t error = 0;
      if (h->nlmsg_len >= NLMSG_LENGTH(sizeof error))
        std::memcpy(&error, NLMSG_DATA(h), sizeof error);
      rc = error < 0 ? neigh_dump_failed : neigh_dump_done;
    } else if (h->nlmsg_type == NLMSG_ERROR) {
      nlmsgerr e{};
      if (h->nlmsg_len < NLMSG_LENGTH(sizeof e)) return neigh_dump_failed;
      std::memcpy(&e, NLMSG_DATA(h), sizeof e);
      if (e.error != 0) rc = neigh_dump_failed;
    } else if (h->nlmsg_type == NLMSG_OVERRUN) {
      rc = neigh_dump_interrupted;
    } else if (h->nlmsg_type == RTM_NEWNEIGH) {
      take_neighbour(t, h);
    }
  }
  // A datagram that ends inside a message was cut: what it held is unknown.
  if (rc == neigh_dump_more && left > 0) return neigh_dump_failed;
  return rc;
}

int32_t neigh_sys_read(neigh_table* t) {
  void* buf = std::malloc(dump_buffer_size);
  if (!buf) return -1;
  int32_t rc = neigh_dump_interrupted;
  for (int i = 0; i < dump_tries && rc == neigh_dump_interrupted; i++) {
    neigh_table_forget(t);
    rc = dump_once(t, buf, static_cast<uint32_t>(i + 1));
  }
  std::free(buf);
  // A table that kept changing through every try was never read whole.
  return rc == neigh_dump_done ? 0 : -1;
}
