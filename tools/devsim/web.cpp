#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/devsim/devsim.h"

namespace {

constexpr int http_timeout_ms = 500;
constexpr size_t http_request_max = 4096;
// A connection the client leaves open is dropped after this, silent ones included.
constexpr int http_lifetime_ms = 120000;
constexpr size_t http_huge_len = 8u << 20;  // a status line that never ends
constexpr size_t http_garbage_len = 300;
constexpr size_t max_connections = 16384;  // beyond this, new ones wait in the backlog

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string page_answer(const devsim_options& opt, uint32_t a) {
  std::string body, status;
  if (devsim_is_device(opt, a)) {
    std::string name = devsim_addr_text(a);
    std::string title;
    devsim_title_html(opt.http_title, name, &title);
    status = "200 OK";
    body = "<!DOCTYPE html>\n<html><head><title>" + title +
           "</title></head>\n<body><h1>Corvane KTA-310</h1>\n<p>Simulated device at " + name +
           "</p></body></html>\n";
  } else {
    status = "404 Not Found";
    body = "<!DOCTYPE html>\n<html><body><p>No device at this address.</p></body></html>\n";
  }
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Bytes that no HTTP client can take for a status line, line ends among them.
std::string garbage_answer(uint32_t seed) {
  std::string out;
  uint32_t x = seed | 1;
  while (out.size() < http_garbage_len) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    char c = static_cast<char>(x & 0xFF);
    out.push_back(out.size() % 40 == 39 ? '\n' : c == 'H' ? 'h' : c);
  }
  return out;
}

// What the connection is to get once its request is in; a silent device gives nothing, ever.
void prepare_answer(const devsim_options& opt, devsim_conn* c) {
  c->answered = true;
  if (!devsim_is_device(opt, c->local) || opt.misbehave == http_mode::normal) {
    c->answer = page_answer(opt, c->local);
  } else if (opt.misbehave == http_mode::garbage) {
    c->answer = garbage_answer(c->local);
  } else if (opt.misbehave == http_mode::huge) {
    c->answer = "HTTP/1.0 200 ";
    c->endless = http_huge_len;
  }
}

void accept_http(int listener, int64_t now, std::vector<devsim_conn>* conns) {
  while (conns->size() < max_connections) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    conns->push_back({fd,
                      ntohl(local.sin_addr.s_addr),
                      now + http_timeout_ms,
                      now + http_lifetime_ms,
                      {},
                      {},
                      0,
                      0,
                      false});
  }
}

// Moves a connection on as far as its socket allows; false once it is done with.
bool serve_http(const devsim_options& opt, int64_t now, short revents, devsim_conn* c) {
  if (now >= c->drop_at_ms) return false;
  bool ended = false;  // the client has sent all it will
  if (!c->answered && (revents & POLLIN)) {
    char buf[1024];
    ssize_t n = recv(c->fd, buf, sizeof buf, 0);
    if (n < 0 && errno != EAGAIN) return false;
    if (n > 0) c->request.append(buf, static_cast<size_t>(n));
    ended = n == 0;
  }
  if (!c->answered) {
    bool whole = ended || c->request.find("\r\n\r\n") != std::string::npos ||
                 c->request.find("\n\n") != std::string::npos ||
                 c->request.size() >= http_request_max;
    // A client that never ends its request still gets its answer, a little later.
    if (!whole && now < c->answer_at_ms) return true;
    prepare_answer(opt, c);
  }
  if (c->answer.empty()) {
    // Silent: keep the connection until the client gives up on it.
    if (!(revents & POLLIN)) return true;
    char buf[1024];
    ssize_t n = recv(c->fd, buf, sizeof buf, 0);
    return n > 0 || (n < 0 && errno == EAGAIN);
  }
  for (;;) {
    if (c->sent == c->answer.size()) {
      if (c->endless == 0) return false;
      size_t chunk = std::min<size_t>(c->endless, 64 * 1024);
      c->answer.assign(chunk, 'A');
      c->endless -= chunk;
      c->sent = 0;
    }
    ssize_t n = send(c->fd, c->answer.data() + c->sent, c->answer.size() - c->sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN;
    c->sent += static_cast<size_t>(n);
  }
}

short http_events(const devsim_conn& c) {
  if (c.answered && !c.answer.empty()) return POLLOUT;
  return POLLIN;
}

// One listener per address besides the catch-all, and a connection each: more than 1024.
void raise_descriptor_limit() {
  rlimit r;
  if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur >= r.rlim_max) return;
  r.rlim_cur = r.rlim_max;
  setrlimit(RLIMIT_NOFILE, &r);
}

}  // namespace

bool devsim_title_html(const std::string& text, const std::string& addr, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (c == '\\' && next == 'x') {
      int hi = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
      int lo = i + 3 < text.size() ? hex_value(text[i + 3]) : -1;
      if (hi < 0 || lo < 0) return false;
      out->push_back(static_cast<char>(hi << 4 | lo));
      i += 3;
    } else if ((c == '\\' && next == '\\') || (c == '%' && next == '%')) {
      out->push_back(c);
      i++;
    } else if (c == '%' && next == 'a') {
      out->append(addr);
      i++;
    } else {
      out->push_back(c);
    }
  }
  return true;
}

int devsim_web_open(devsim_web* w, const devsim_options& opt) {
  raise_descriptor_limit();
  w->listeners.push_back(devsim_open_bound(SOCK_STREAM, INADDR_ANY, opt.http_port));
  for (uint32_t a : opt.addrs) {
    if (w->listeners.back() < 0) break;
    w->listeners.push_back(devsim_open_bound(SOCK_STREAM, a, opt.http_port));
  }
  if (w->listeners.back() >= 0) return 0;
  int saved = errno;
  devsim_web_close(w);
  errno = saved;
  return -1;
}

void devsim_web_close(devsim_web* w) {
  for (int l : w->listeners) {
    if (l >= 0) close(l);
  }
  for (const devsim_conn& c : w->conns) close(c.fd);
  w->listeners.clear();
  w->conns.clear();
}

int64_t devsim_web_poll_for(const devsim_web& w, std::vector<pollfd>* fds) {
  int64_t next = -1;
  for (int l : w.listeners) fds->push_back({l, POLLIN, 0});
  for (const devsim_conn& c : w.conns) {
    fds->push_back({c.fd, http_events(c), 0});
    int64_t at = c.answered ? c.drop_at_ms : c.answer_at_ms;
    if (next < 0 || at < next) next = at;
  }
  return next;
}

void devsim_web_serve(devsim_web* w, const devsim_options& opt, int64_t now, const pollfd* fds) {
  // The connections polled are the first ones of the list; those accepted below wait a turn.
  const pollfd* conn_fds = fds + w->listeners.size();
  size_t kept = 0;
  for (size_t i = 0; i < w->conns.size(); i++) {
    if (serve_http(opt, now, conn_fds[i].revents, &w->conns[i])) {
      if (kept != i) w->conns[kept] = std::move(w->conns[i]);
      kept++;
    } else {
      close(w->conns[i].fd);
    }
  }
  w->conns.resize(kept);
  for (size_t i = 0; i < w->listeners.size(); i++) {
    if (fds[i].revents & POLLIN) accept_http(w->listeners[i], now, &w->conns);
  }
}
