#pragma once
// The process's one UDP broadcast channel: a datagram socket allowed to
// broadcast, and a receiver thread that runs a listen window of 10 polls
// after every send. Each send goes to 255.255.255.255 and, as a directed
// broadcast, to every other adapter's network. State is static; open, send
// and close take no handle and belong to one owner thread. Callbacks run on
// the receiver thread.

#include <cstdint>

#include "net/bcast_targets.h"

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
// What one poll takes off the socket at most in batch mode, bad datagrams
// included: the answers of 4000 devices that all come at once, and few
// enough that a flood of datagrams costs the receiver only a little CPU.
constexpr int32_t bcast_batch_max = 4096;
// Asked for at open: the answers of 1000 devices at about 800 bytes of
// buffer each. The system may grant less (Linux: net.core.rmem_max).
constexpr int32_t bcast_receive_buffer_wanted = 1 << 20;

// 0 when open; -1 when the socket cannot be opened or bound, when the
// channel's semaphore cannot be made, or when the channel is already open;
// -2 when its receiver thread cannot start. Nothing is left open on a
// failure. A new channel reads one datagram per poll and probes every adapter.
int32_t udp_bcast_open(int32_t local_port);
// Batch reading, chosen by the owner after open and before its first send:
// during a window the receiver reads answers as they arrive, up to
// max_per_poll (at most bcast_batch_max) in each of its ten polls, and keeps
// them in a queue of its own until the reply callback takes them, so that
// one window hears every device that answered, also with a small receive
// buffer and a slow callback. 1, the default, takes one datagram per poll,
// and what a window leaves waits for the next. 0, or -1 when the channel is
// not open or max_per_poll is below 1.
int32_t udp_bcast_set_batch(int32_t max_per_poll);
// Limits every send to a directed broadcast on each named adapter (no
// 255.255.255.255); count 0 probes every adapter again. The names are copied.
// 0, or -1 when the channel is not open, count is above bcast_adapters_max or
// a name does not fit adapter_name_size.
int32_t udp_bcast_set_adapters(const char* const* names, int32_t count);
// The receive buffer the system granted at open, in its own count (Linux
// reports twice what it lets datagrams use); -1 when the channel is not open.
int32_t udp_bcast_receive_buffer();
// The datagrams the system dropped at the socket for want of room in its
// receive buffer during the last window that ran out, from its send to its
// on_done (so on_done may read it); 0 before the first. -1 when the system
// cannot tell (Windows) or the channel is not open.
int32_t udp_bcast_dropped();
// Broadcasts len bytes on req->port, to 255.255.255.255 and to the broadcast
// address of every other adapter that is up (read afresh on every send), and
// (re)starts the listen window. An adapter that the limited broadcast already
// leaves by gets nothing more, so one adapter means one datagram. 0 when the
// channel is open (the sends' own outcomes are not reported); -1 when it is
// not, and then nothing is copied, sent or called.
int32_t udp_bcast_send(const bcast_request* req, const void* data, int32_t len);
// Drops every datagram that waits in the socket, at most bcast_discard_max,
// and those that batch reading holds,
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
