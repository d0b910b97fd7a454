#pragma once
// The datagrams that the broadcast channel's receiver has taken off its
// socket and not yet handed on, oldest first: a ring of bytes of a fixed
// size, so that a burst of answers costs no allocation and a slow reply
// callback never leaves them in the system's buffer, where they could be lost.

#include <cstdint>

#include "net/sockets.h"

constexpr int32_t bcast_queue_datagram_max = 1000;

struct bcast_queue {
  char* bytes;
  uint32_t size;
  uint32_t head;  // the oldest record
  uint32_t tail;  // where the next record goes
  uint32_t end;   // where the records before the wrap stop, while wrapped
  bool wrapped;   // the records run from head to end, then from 0 to tail
  int32_t count;
};

// A datagram of len bytes takes this much room in the ring.
uint32_t bcast_queue_record_size(int32_t len);
// An empty queue over storage of size bytes, which the caller keeps.
void bcast_queue_init(bcast_queue* q, char* storage, uint32_t size);
// Keeps a copy of len bytes (0 to bcast_queue_datagram_max): true, or false
// when it does not fit; nothing is kept then.
bool bcast_queue_put(bcast_queue* q, const sockaddr_in* from, const char* data, int32_t len);
// Whether that many datagrams of the largest length would still fit.
bool bcast_queue_has_room(const bcast_queue* q, int32_t datagrams);
// Takes the oldest datagram into buf (room for bcast_queue_datagram_max bytes):
// its length, or -1 when the queue is empty.
int32_t bcast_queue_take(bcast_queue* q, sockaddr_in* from, char* buf);
// Empties the queue: the count of datagrams dropped.
int32_t bcast_queue_clear(bcast_queue* q);
