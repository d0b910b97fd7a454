#pragma once
// The process's one UDP broadcast channel: a datagram socket allowed to
// broadcast, and a receiver thread that runs a listen window of 10 polls
// after every send. State is static; open, send and close take no handle and
// belong to one owner thread. Callbacks run on the receiver thread.

#include <cstdint>

struct bcast_request {
  int32_t port;  // destination port, host order; low 16 bits used
  void* ctx;     // handed back as the first argument of both callbacks
  // sender: dotted-quad text; data: the datagram, 1 to 1000 bytes. Both valid
  // only during the call. May be null.
  void (*on_reply)(void* ctx, const char* sender, const char* data, int32_t len);
  void (*on_done)(void* ctx);  // once when a listen window has run out; may be null
  int32_t polls;               // ignored: every window has 10 polls
  int32_t wait_ms;             // ignored: every poll waits up to 100 ms
};

constexpr int32_t bcast_window_polls = 10;
constexpr int32_t bcast_poll_wait_ms = 100;
constexpr int32_t bcast_max_datagram = 1000;
// More than a socket's receive buffer holds, so that one discard empties it,
// and few enough that a discard under a running flood still ends.
constexpr int32_t bcast_discard_max = 4096;

// 0 when open; -1 when the socket cannot be opened or bound, when the
// channel's semaphore or its receiver thread cannot be made (nothing is left
// open then), or when the channel is already open.
int32_t udp_bcast_open(int32_t local_port);
// Broadcasts len bytes to 255.255.255.255 on req->port and (re)starts the
// listen window. 0 when the channel is open (the send's own outcome is not
// reported); -1 when it is not, and then nothing is copied, sent or called.
int32_t udp_bcast_send(const bcast_request* req, const void* data, int32_t len);
// Drops every datagram that waits in the socket, at most bcast_discard_max,
// so that a send made next is answered into an empty queue instead of behind
// a backlog left by earlier windows. The count dropped, or -1 when the channel
// is not open. Sends never do this themselves: between sends, what arrives is
// kept for the next window.
int32_t udp_bcast_discard();
// Stops the receiver and waits for it to end. Never from a callback.
void udp_bcast_close();
// The receiver thread's body, started by udp_bcast_open.
void udp_bcast_receiver();

// Called about every 10 ms while udp_bcast_close waits for the receiver, on
// the closing thread, so that the owner can serve work a callback is waiting
// for. Null removes it. Set it from the owner thread, not during a close.
void udp_bcast_set_wait_hook(void (*hook)(void* ctx), void* ctx);
