#include "tests/testing/lab_guard.h"

#include <cstdlib>

// A Windows program cannot read its namespace. Under Wine the wineserver makes
// the sockets, so what counts is that tests/lab/wine.sh started it in the lab:
// that script sets KTA_WINE_NETNS to the lab's namespace once it has checked so.
bool lab_active(std::string* why) {
  const char* lab = std::getenv("KTA_LAB");
  const char* lab_netns = std::getenv("KTA_LAB_NETNS");
  const char* wine_netns = std::getenv("KTA_WINE_NETNS");
  if (!lab || std::string(lab) != "1" || !lab_netns || !*lab_netns) {
    *why =
        "not inside the lab network namespace: run through tests/lab/lab.sh (make test-windows "
        "does)";
    return false;
  }
  if (!wine_netns || std::string(wine_netns) != lab_netns) {
    *why =
        "Wine was not started for the lab: run through tests/lab/wine.sh inside tests/lab/lab.sh "
        "(make test-windows does)";
    return false;
  }
  return true;
}
