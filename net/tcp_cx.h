#pragma once
// The asynchronous TCP connector: a caller queues a connect attempt and gets
// an id at once; the manager thread watches the pending attempts and calls the
// caller's callbacks, on its own thread, when one has connected, failed or
// timed out. Also the write-side operations of a connected socket.
//
// Calling order: net_start (net/net.h) once before anything else here; then
// tcp_connect, tcp_connect_send and tcp_cx_cancel from any thread, callbacks
// included; net_stop once at the end, never from a callback.

#include <cstdint>

#include "net/sockets.h"

using tcp_on_fail = void (*)(void* ctx);
using tcp_on_connected = void (*)(void* ctx, int32_t sock);
// peer points at a copy of the attempt's endpoint, valid during the call only.
using tcp_on_fail_peer = void (*)(void* ctx, int32_t sock, const sockaddr_in* peer);
using tcp_on_connected_peer = void (*)(void* ctx, int32_t sock, const sockaddr_in* peer);

// One pending attempt. An entry carries either the (on_fail, on_connected)
// pair of tcp_connect or the (on_fail_peer, on_connected_peer) pair and the
// payload of tcp_connect_send; the other fields stay zero.
struct tcp_cx_entry {
  int32_t id;
  int32_t sock;
  sockaddr_in peer;
  void* ctx;
  tcp_on_fail on_fail;
  tcp_on_connected on_connected;
  tcp_on_fail_peer on_fail_peer;
  tcp_on_connected_peer on_connected_peer;
  uint32_t start_ms;
  uint32_t timeout_ms;
  int32_t payload_len;
  uint8_t* payload;  // private copy from my_malloc, or null
};

constexpr int32_t tcp_cx_max = 1024;

// Empties the table, restarts the ids and starts the manager thread: 0, or -1
// when its semaphore or its thread cannot be made. The manager is finished
// then (as after tcp_cx_fin): attempts are refused and nothing waits.
int32_t tcp_cx_init();

// The attempt id (> 0); -1 null or empty host or port 0; -2 host not
// resolved; -3 table full ("tcp_connect: error(%d)\n"); -4 manager finished.
// The socket later handed to on_connected is in blocking mode.
int32_t tcp_connect(const char* host, int32_t port, int32_t timeout_s, void* ctx,
                    tcp_on_fail on_fail, tcp_on_connected on_connected);
// The attempt id (> 0); -1 table full; -2 manager finished. The payload is
// copied; a null payload or a length <= 0 sends nothing. The socket later
// handed to on_connected_peer is non-blocking. peer must not be null.
int32_t tcp_connect_send(const sockaddr_in* peer, const void* payload, int32_t payload_len,
                         int32_t timeout_s, void* ctx, tcp_on_fail_peer on_fail_peer,
                         tcp_on_connected_peer on_connected_peer);

// Closes the socket of a pending attempt and forgets it, with no callback.
// An id that is not pending is ignored.
void tcp_cx_cancel(int32_t id);
// Drops every pending attempt without callbacks and ends the manager
// thread, waiting for it in up to three steps of one second. A manager that
// is finished already and has no thread is left at once.
void tcp_cx_fin();
// The same finish for a program that must not idle: it waits for the thread's
// own word that it has ended, at most the same three seconds, then says the
// same abort line.
void tcp_cx_fin_prompt();

int32_t tcp_close(int32_t sock);
int32_t tcp_send(int32_t sock, const void* data, int32_t len);

// Pending attempts; -1 once the manager has been finished.
int32_t tcp_cx_pending();
// 1 while the manager thread is alive (it holds its wake-up semaphore).
int32_t tcp_cx_running();
// The id after last: never 0 and never negative, so an id is never taken
// for an error code; after 2147483647 comes 1.
int32_t tcp_cx_next_id(int32_t last);
// 1 (the default): a pass asks for the readiness of up to 64 pending
// attempts in one query; 0: one query per attempt. The endings are the same.
void tcp_cx_batch_queries(int32_t on);
