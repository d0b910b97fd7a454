#pragma once
// kta-scan's two runs over an open channel: a scan of one or more rounds,
// and a watch. With --web, a device's page check starts as soon as its
// answer arrives, while the listen window still runs.

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "app/text_list.h"
#include "tools/scan_options.h"

struct sema;

// Not an exit status: the reader has gone, so the program ends quietly.
constexpr int scan_status_reader_gone = -1;

struct scan_run_ctx {
  FILE* out;
  // Posted by a window's end, by each page outcome, by an answer while pages
  // are checked, and by a stop request.
  sema* wake;
  const std::atomic<int32_t>* stop;
  text_list* list;
};

// The devices that answered, printed once every round and page check has
// ended: 0, scan_status_reader_gone, or the exit status after saying why.
int scan_run_once(const scan_options& opt, const scan_run_ctx& run);
// Rounds every opt.interval_s seconds until a stop: each device found or
// lost printed as it is known. 0 after a stop, else as scan_run_once.
int scan_run_watch(const scan_options& opt, const scan_run_ctx& run);
