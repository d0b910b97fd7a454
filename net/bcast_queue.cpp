#include "net/bcast_queue.h"

#include <cstring>

namespace {

struct record_head {
  sockaddr_in from;
  int32_t len;
};

constexpr uint32_t record_align = alignof(record_head);

// The room at the tail that a record can use without splitting.
uint32_t room_at_tail(const bcast_queue* q) {
  return q->wrapped ? q->head - q->tail : q->size - q->tail;
}

}  // namespace

uint32_t bcast_queue_record_size(int32_t len) {
  uint32_t bytes = static_cast<uint32_t>(sizeof(record_head)) + static_cast<uint32_t>(len);
  return (bytes + record_align - 1) / record_align * record_align;
}

void bcast_queue_init(bcast_queue* q, char* storage, uint32_t size) {
  q->bytes = storage;
  q->size = size / record_align * record_align;
  bcast_queue_clear(q);
}

bool bcast_queue_has_room(const bcast_queue* q, int32_t datagrams) {
  uint32_t need =
      bcast_queue_record_size(bcast_queue_datagram_max) * static_cast<uint32_t>(datagrams);
  // Before the wrap the space in front of head is usable too, in one piece.
  return room_at_tail(q) >= need || (!q->wrapped && q->head >= need);
}

bool bcast_queue_put(bcast_queue* q, const sockaddr_in* from, const char* data, int32_t len) {
  if (len < 0 || len > bcast_queue_datagram_max) return false;
  uint32_t need = bcast_queue_record_size(len);
  if (room_at_tail(q) < need) {
    // The end of the storage is too short: go on at its start, before head.
    if (q->wrapped || q->head < need) return false;
    q->end = q->tail;
    q->wrapped = true;
    q->tail = 0;
  }
  record_head h{*from, len};
  std::memcpy(q->bytes + q->tail, &h, sizeof h);
  if (len > 0) std::memcpy(q->bytes + q->tail + sizeof h, data, static_cast<size_t>(len));
  q->tail += need;
  q->count++;
  return true;
}

int32_t bcast_queue_take(bcast_queue* q, sockaddr_in* from, char* buf) {
  if (q->count == 0) return -1;
  record_head h;
  std::memcpy(&h, q->bytes + q->head, sizeof h);
  *from = h.from;
  if (h.len > 0) std::memcpy(buf, q->bytes + q->head + sizeof h, static_cast<size_t>(h.len));
  q->head += bcast_queue_record_size(h.len);
  q->count--;
  if (q->count == 0) {
    bcast_queue_clear(q);
  } else if (q->wrapped && q->head == q->end) {
    q->head = 0;
    q->wrapped = false;
  }
  return h.len;
}

int32_t bcast_queue_clear(bcast_queue* q) {
  int32_t dropped = q->count;
  q->head = q->tail = q->end = 0;
  q->wrapped = false;
  q->count = 0;
  return dropped;
}
