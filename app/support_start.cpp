#include "app/support_start.h"

#include "net/net.h"
#include "support/alloc.h"

int32_t support_start() {
  mem_start();
  return net_start();
}

void support_stop() {
  net_stop();
  mem_stop();
}
