// Prints what neigh_lookup finds for each address given: "ADDRESS MAC" or
// "ADDRESS unknown", one a line, in the order given; exit 1 when the table
// cannot be read, 2 for an argument that is no IPv4 address.
#include <arpa/inet.h>

#include <cstdio>
#include <vector>

#include "net/neigh.h"

int main(int argc, char** argv) {
  std::vector<neigh_entry> asked;
  for (int i = 1; i < argc; i++) {
    in_addr a;
    if (inet_pton(AF_INET, argv[i], &a) != 1) {
      std::fprintf(stderr, "neigh_show: '%s' is not an IPv4 address\n", argv[i]);
      return 2;
    }
    asked.push_back({ntohl(a.s_addr), {}, 0});
  }
  if (neigh_lookup(asked.data(), static_cast<int32_t>(asked.size())) < 0) {
    std::fprintf(stderr, "neigh_show: cannot read the neighbour table\n");
    return 1;
  }
  for (int i = 1; i < argc; i++) {
    const neigh_entry& e = asked[i - 1];
    if (!e.known) {
      std::printf("%s unknown\n", argv[i]);
      continue;
    }
    std::printf("%s %02x:%02x:%02x:%02x:%02x:%02x\n", argv[i], e.mac[0], e.mac[1], e.mac[2],
                e.mac[3], e.mac[4], e.mac[5]);
  }
  return 0;
}
