#include "tools/scan_watch.h"

#include <set>

void watch_round(watch_state* s, const std::vector<std::string>& answered,
                 std::vector<std::string>* found, std::vector<std::string>* lost) {
  found->clear();
  lost->clear();
  std::set<std::string> heard(answered.begin(), answered.end());
  for (auto it = s->present.begin(); it != s->present.end();) {
    if (heard.count(it->first)) {
      it->second = 0;
      ++it;
    } else if (++it->second >= watch_missed_max) {
      lost->push_back(it->first);
      it = s->present.erase(it);
    } else {
      ++it;
    }
  }
  for (const std::string& a : heard) {
    if (s->present.emplace(a, 0).second) found->push_back(a);
  }
}
