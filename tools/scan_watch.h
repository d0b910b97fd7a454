#pragma once
// kta-scan --watch: which devices arrived and which left, from one probe
// round to the next. A device counts as gone once it has missed
// watch_missed_max probes in a row, so one lost answer does not flap it.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

constexpr int32_t watch_missed_max = 3;

struct watch_state {
  std::map<std::string, int32_t> present;  // address -> probes missed in a row
};

// Takes the addresses that answered one round (in any order, repeats
// allowed) and gives the devices found and lost by it, each sorted.
void watch_round(watch_state* s, const std::vector<std::string>& answered,
                 std::vector<std::string>* found, std::vector<std::string>* lost);
