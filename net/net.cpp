#include "net/net.h"

#include "net/sockets.h"
#include "net/tcp_cx.h"

// A manager that could not start leaves the sockets layer started: net_stop's
// cleanup is its pair, as after a success.
int32_t net_start() {
  if (ws_startup() != 0) return -1;
  return tcp_cx_init() == 0 ? 0 : -2;
}

void net_stop() {
  tcp_cx_fin();
  ws_cleanup();
}

void net_stop_prompt() {
  tcp_cx_fin_prompt();
  ws_cleanup();
}
