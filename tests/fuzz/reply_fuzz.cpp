// The reply path: datagrams of 0 to 2000 bytes from arbitrary senders into
// probe_on_reply with the windowless device list, now and then emptied as a
// Refresh would. The list must stay sorted and unique, and hold exactly the
// senders whose datagram began with "?" since the last emptying.

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "app/probe.h"
#include "app/text_list.h"
#include "net/ip.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void check_list(text_list* list, const std::set<std::string>& expect) {
  int32_t count = text_list_count(list);
  FUZZ_CHECK(count == static_cast<int32_t>(expect.size()));
  std::string previous;
  auto it = expect.begin();
  for (int32_t i = 0; i < count; i++, ++it) {
    char text[32];
    int32_t n = text_list_get(list, i, text, sizeof text);
    FUZZ_CHECK(n > 0 && n < static_cast<int32_t>(sizeof text));
    std::string item(text, static_cast<size_t>(n));
    FUZZ_CHECK(i == 0 || previous < item);
    FUZZ_CHECK(item == *it);
    previous = item;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  probe_set_list_ops(&text_list_ops);
  return 0;
}

// Each datagram: one control byte (bit 7: empty the list first; bit 6: same
// sender as before), four address bytes unless repeated, a 16-bit length
// taken modulo 2001, then that many bytes (fewer at the input's end).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  text_list* list = text_list_create();
  FUZZ_CHECK(list != nullptr);
  probe_ctx ctx{};
  ctx.local_port = 10000;
  ctx.device_port = 9999;
  ctx.list = list;

  std::set<std::string> expect;
  fuzz_reader in{data, size};
  uint8_t address[4] = {10, 77, 0, 10};
  while (in.left > 0) {
    uint8_t control = in.byte();
    if (control & 0x80) {
      text_list_clear(list);
      expect.clear();
    }
    if (!(control & 0x40))
      for (uint8_t& b : address) b = in.byte();
    char sender[16];
    ip_bytes_to_text(address, sender);
    size_t want = ((size_t{in.byte()} << 8) | in.byte()) % 2001;
    size_t got = 0;
    const uint8_t* bytes = in.take(want, &got);
    // In a block of its own size, so a read past the datagram is caught.
    std::unique_ptr<char[]> datagram(new char[got > 0 ? got : 1]);
    if (got > 0) std::memcpy(datagram.get(), bytes, got);
    probe_on_reply(&ctx, sender, datagram.get(), static_cast<int32_t>(got));
    if (got > 0 && datagram[0] == '?') expect.insert(sender);
    check_list(list, expect);
  }
  text_list_free(list);
  return 0;
}
