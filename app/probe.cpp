#include "app/probe.h"

namespace {

constexpr char probe_byte = '?';

std::atomic<const device_list_ops*> list_ops{nullptr};

}  // namespace

void probe_set_list_ops(const device_list_ops* ops) { list_ops.store(ops); }

void probe_send(probe_ctx* ctx) {
  ctx->req.port = ctx->device_port;
  ctx->req.ctx = ctx;
  ctx->req.on_reply = probe_on_reply;
  ctx->req.on_done = probe_on_done;
  // Raised before the send: once the channel has the probe, its window may end
  // (and clear busy) before this thread runs again.
  int32_t before = ctx->busy.exchange(1);
  if (udp_bcast_send(&ctx->req, &probe_byte, 1) < 0) ctx->busy.store(before);
}

void probe_on_reply(void* ctx, const char* sender, const char* data, int32_t len) {
  if (len < 1 || data[0] != probe_byte) return;
  const device_list_ops* ops = list_ops.load();
  if (!ops) return;
  void* list = static_cast<probe_ctx*>(ctx)->list;
  // Find and add are two steps: a list emptied in between simply gets the address.
  if (ops->find(list, sender)) return;
  ops->add(list, sender);
}

void probe_on_done(void* ctx) { static_cast<probe_ctx*>(ctx)->busy.store(0); }
