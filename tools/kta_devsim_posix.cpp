// kta-devsim: answers discovery probes as KTA-310 devices would, from one or
// many local addresses, for tests and demos in the lab. Optionally serves a
// one-page web site per address, and misbehaves on request.

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/devsim/devsim.h"

namespace {

int open_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
  devsim_options opt;
  int parsed = devsim_parse_args(argc, argv, &opt);
  if (parsed < 0) return devsim_exit_ok;
  if (parsed > 0) return parsed;

  devsim_answers answers;
  devsim_web web;
  int sig = open_signals();
  if (sig < 0 || devsim_answers_open(&answers, &opt) != 0) {
    std::fprintf(stderr, "kta-devsim: cannot open UDP port %d: %s\n", devsim_device_port,
                 std::strerror(errno));
    return devsim_exit_failed;
  }
  if (opt.http && devsim_web_open(&web, opt) != 0) {
    std::fprintf(stderr, "kta-devsim: cannot open TCP port %d: %s\n", opt.http_port,
                 std::strerror(errno));
    devsim_answers_close(&answers);
    return devsim_exit_failed;
  }
  std::printf("kta-devsim: answering for %zu addresses on UDP %d", opt.addrs.size(),
              devsim_device_port);
  if (opt.http) std::printf(", web pages on TCP %d", opt.http_port);
  std::printf("\n");
  std::fflush(stdout);
  if (!answers.answering) devsim_say("silent");

  std::vector<pollfd> fds;
  for (;;) {
    int64_t now = devsim_now_ms();
    int64_t next = devsim_answers_run(&answers, now);
    fds.clear();
    fds.push_back({sig, POLLIN, 0});
    fds.push_back({answers.udp, POLLIN, 0});
    int64_t web_next = devsim_web_poll_for(web, &fds);
    if (web_next >= 0 && (next < 0 || web_next < next)) next = web_next;
    int timeout = next < 0 ? -1 : static_cast<int>(std::clamp<int64_t>(next - now, 0, 60000));
    int n = poll(fds.data(), fds.size(), timeout);
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && fds[0].revents) {
      signalfd_siginfo info{};
      if (read(sig, &info, sizeof info) != sizeof info || info.ssi_signo != SIGUSR1) break;
      devsim_answers_toggle(&answers);
    }
    if (n > 0 && (fds[1].revents & POLLIN)) devsim_answers_hear(&answers);
    devsim_web_serve(&web, opt, devsim_now_ms(), fds.data() + 2);
  }
  devsim_answers_close(&answers);
  devsim_web_close(&web);
  close(sig);
  return devsim_exit_ok;
}
