#include <pthread.h>

#include "net/sockets.h"
#include "net/tcp_cx_sys.h"

namespace {

pthread_mutex_t tcp_cx_mutex = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

void tcp_cx_lock_enter() { pthread_mutex_lock(&tcp_cx_mutex); }

void tcp_cx_lock_leave() { pthread_mutex_unlock(&tcp_cx_mutex); }

void tcp_cx_drop_socket(int32_t sock) {
  if (sock > 0) ws_closesocket(sock);
}
