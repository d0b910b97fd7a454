#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/devsim/devsim.h"

namespace {

constexpr size_t max_pending = 65536;  // queued answers; probes beyond this are dropped
// The simulator shares the prober's processors, which real devices never
// do, and the system puts a woken reader on its waker's processor: without
// a turn given up now and then, a burst of answers would keep the prober off
// the processor it reads them on, and the lab would measure that instead.
constexpr int answers_per_turn = 32;

// Sends from a chosen local address through the one socket: the source is set per datagram.
void send_from(int s, uint32_t from, const sockaddr_in& to, const std::string& reply) {
  iovec iov{const_cast<char*>(reply.data()), reply.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_in*>(&to);
  msg.msg_namelen = sizeof to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = htonl(from);
  std::memcpy(CMSG_DATA(c), &info, sizeof info);
  // A lost answer is what a real network does too: the result is not looked at.
  (void)sendmsg(s, &msg, MSG_NOSIGNAL);
}

// This machine's networks that carry a broadcast address (a /32 reports
// its own address there, and has no network to broadcast to).
std::vector<devsim_network> broadcast_networks() {
  std::vector<devsim_network> nets;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return nets;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask || !i->ifa_broadaddr)
      continue;
    auto host = [](const sockaddr* sa) {
      return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
    };
    devsim_network n{host(i->ifa_addr), host(i->ifa_netmask), host(i->ifa_broadaddr)};
    if ((i->ifa_flags & IFF_BROADCAST) && n.broadcast != n.addr) nets.push_back(n);
  }
  freeifaddrs(list);
  return nets;
}

// In the lab every device is a local address, so a broadcast sent out of any
// adapter loops back to all of them; a real device hears only its own network's.
bool hears(const std::vector<devsim_network>& nets, uint32_t device, uint32_t to) {
  if (to == INADDR_BROADCAST || to == device) return true;
  for (const devsim_network& n : nets) {
    if (n.broadcast == to && (device & n.mask) == (n.addr & n.mask)) return true;
  }
  return false;
}

// One datagram with its sender and the address it was sent to (host order).
ssize_t receive_probe(int s, char* buf, size_t size, sockaddr_in* from, uint32_t* to) {
  iovec iov{buf, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = from;
  msg.msg_namelen = sizeof *from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t got = recvmsg(s, &msg, MSG_DONTWAIT);
  *to = INADDR_BROADCAST;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); got >= 0 && c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
    in_pktinfo info;
    std::memcpy(&info, CMSG_DATA(c), sizeof info);
    *to = ntohl(info.ipi_addr.s_addr);
  }
  return got;
}

// Soonest first; answers due together leave in the order they were queued.
bool later(const devsim_pending& x, const devsim_pending& y) {
  return x.due_ms != y.due_ms ? x.due_ms > y.due_ms : x.order > y.order;
}

// splitmix64: the same delays for the same --seed on every machine.
uint64_t next_draw(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void queue_answer(devsim_answers* a, int64_t due, const sockaddr_in& to, uint32_t from) {
  if (a->opt->jitter_ms > 0)
    due +=
        static_cast<int64_t>(next_draw(&a->draw) % (static_cast<uint64_t>(a->opt->jitter_ms) + 1));
  a->due.push_back({due, a->queued++, to, from, a->opt->flood});
  std::push_heap(a->due.begin(), a->due.end(), later);
}

}  // namespace

void devsim_say(const char* line) {
  std::printf("kta-devsim: %s\n", line);
  std::fflush(stdout);
}

int devsim_answers_open(devsim_answers* a, const devsim_options* opt) {
  a->opt = opt;
  a->udp = devsim_open_bound(SOCK_DGRAM, INADDR_ANY, devsim_device_port);
  if (a->udp < 0) return -1;
  a->nets = broadcast_networks();
  a->draw = opt->seeded
                ? opt->seed
                : static_cast<uint64_t>(devsim_now_ms()) ^ static_cast<uint64_t>(getpid()) << 32;
  a->refilled = devsim_now_ms();
  a->answering = opt->answer_for_s != 0;
  a->silent_at = opt->answer_for_s > 0 ? a->refilled + opt->answer_for_s * 1000 : -1;
  return 0;
}

void devsim_answers_close(devsim_answers* a) {
  if (a->udp >= 0) close(a->udp);
  a->udp = -1;
}

void devsim_answers_toggle(devsim_answers* a) {
  a->answering = !a->answering;
  a->silent_at = -1;
  devsim_say(a->answering ? "answering again" : "silent");
}

void devsim_answers_hear(devsim_answers* a) {
  const devsim_options& opt = *a->opt;
  char probe[2048];
  sockaddr_in from{};
  uint32_t to = 0;
  ssize_t got = receive_probe(a->udp, probe, sizeof probe, &from, &to);
  if (got >= 1 && opt.log_probes) {
    std::printf("kta-devsim: probe from %s:%d to %s\n",
                devsim_addr_text(ntohl(from.sin_addr.s_addr)).c_str(), ntohs(from.sin_port),
                devsim_addr_text(to).c_str());
    std::fflush(stdout);
  }
  if (got < 1 || probe[0] != '?' || !a->answering) return;
  int64_t due = devsim_now_ms() + opt.delay_ms;
  for (uint32_t addr : opt.addrs) {
    if (a->due.size() >= max_pending) break;
    if (hears(a->nets, addr, to)) queue_answer(a, due, from, addr);
  }
}

int64_t devsim_answers_run(devsim_answers* a, int64_t now) {
  const devsim_options& opt = *a->opt;
  if (a->silent_at >= 0 && now >= a->silent_at) {
    a->silent_at = -1;
    if (a->answering) devsim_say("silent");
    a->answering = false;
  }
  if (opt.rate > 0) {
    // Allow a burst of up to 10 ms worth, so pacing does not need a wake-up per datagram.
    a->tokens = std::min(a->tokens + static_cast<double>(now - a->refilled) * opt.rate / 1000.0,
                         std::max(1.0, opt.rate / 100.0));
    a->refilled = now;
  }
  for (int sent = 1; !a->due.empty() && a->due.front().due_ms <= now; sent++) {
    if (opt.rate > 0 && a->tokens < 1) break;
    devsim_pending& p = a->due.front();
    send_from(a->udp, p.from, p.to, opt.reply);
    if (opt.rate > 0) a->tokens -= 1;
    if (--p.count <= 0) {
      std::pop_heap(a->due.begin(), a->due.end(), later);
      a->due.pop_back();
    }
    if (sent % answers_per_turn == 0) sched_yield();
  }
  int64_t next = a->silent_at;
  if (!a->due.empty()) {
    int64_t at = a->due.front().due_ms;
    if (opt.rate > 0 && a->tokens < 1) at = std::max(at, now + 1);
    if (next < 0 || at < next) next = at;
  }
  return next;
}
