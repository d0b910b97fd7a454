// kta-scan's formats as a person and a script read them: columns that line
// up, JSON and CSV that parse, unknowns shown as unknown, numeric order.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/scan_output.h"

namespace {

scan_device device(const char* address, const char* adapter = "eth0") {
  scan_device d = scan_devices_of({address}).at(0);
  d.adapter = adapter;
  return d;
}

scan_device with_mac(scan_device d, std::vector<uint8_t> mac, const char* maker) {
  d.mac_known = true;
  std::memcpy(d.mac, mac.data(), 6);
  d.local_mac = (mac[0] & 2) != 0;
  d.maker = maker;
  return d;
}

scan_device with_page(scan_device d, int32_t status, const char* reason, const char* title) {
  d.web_checked = true;
  d.web.outcome = web_ok;
  d.web.status = status;
  d.web.ms = 7;
  std::snprintf(d.web.reason, sizeof d.web.reason, "%s", reason);
  d.web.has_title = title != nullptr;
  if (title) std::snprintf(d.web.title, sizeof d.web.title, "%s", title);
  return d;
}

scan_device with_failure(scan_device d, int32_t outcome) {
  d.web_checked = true;
  d.web.outcome = outcome;
  return d;
}

template <typename Print>
std::string printed(Print print) {
  FILE* f = std::tmpfile();
  print(f);
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

std::string scan_as(scan_format format, bool web, const std::vector<scan_device>& devices,
                    int32_t dropped = 0) {
  return printed([&](FILE* f) { scan_print({f, format, web}, devices, 1, dropped); });
}

const std::vector<uint8_t> intel = {0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c};
const std::vector<uint8_t> local = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0a};

TEST(ScanDevices, NumericOrderAndOnlyDottedQuads) {
  std::vector<std::string> order;
  for (const scan_device& d :
       scan_devices_of({"10.77.0.10", "10.77.0.9", "not an address", "9.255.255.255", "10.77.1.2"}))
    order.push_back(d.address);
  EXPECT_EQ(order,
            (std::vector<std::string>{"9.255.255.255", "10.77.0.9", "10.77.0.10", "10.77.1.2"}));
}

TEST(ScanOutput, LinesCarryThePageAndItsTitleInQuotes) {
  std::vector<scan_device> d = {with_page(device("10.0.0.1"), 200, "OK", "Boiler & Pump 3"),
                                with_page(device("10.0.0.2"), 204, "", nullptr),
                                with_failure(device("10.0.0.3"), web_timeout), device("10.0.0.4")};
  EXPECT_EQ(scan_as(scan_format::lines, true, d),
            "10.0.0.1 web 200 OK \"Boiler & Pump 3\"\n10.0.0.2 web 204\n10.0.0.3 web timeout\n"
            "10.0.0.4\n");
  EXPECT_EQ(scan_as(scan_format::lines, false, d), "10.0.0.1\n10.0.0.2\n10.0.0.3\n10.0.0.4\n");
}

TEST(ScanOutput, LongColumnsLineUpWithDashesForTheUnknown) {
  std::string maker = "Ëxämple Ünits of Munich GmbH and Partners";  // longer than its column
  std::vector<scan_device> d = {with_mac(device("10.0.0.9"), intel, maker.c_str()),
                                with_mac(device("10.0.0.10", ""), local, ""),
                                device("192.168.7.50", "")};
  EXPECT_EQ(scan_as(scan_format::long_lines, false, d),
            "10.0.0.9        00:1b:21:0a:0b:0c Ëxämple Ünits of Munich GmbH eth0\n"
            "10.0.0.10       02:00:00:00:00:0a (locally administered)       -\n"
            "192.168.7.50    -                 -                            -\n");
  d[1] = with_failure(d[1], web_refused);
  d[0] = with_page(d[0], 200, "OK", "Pump");
  EXPECT_EQ(scan_as(scan_format::long_lines, true, {d[0], d[1], d[2]}),
            "10.0.0.9        00:1b:21:0a:0b:0c Ëxämple Ünits of Munich GmbH eth0     web 200 OK "
            "\"Pump\"\n"
            "10.0.0.10       02:00:00:00:00:0a (locally administered)       -        web refused\n"
            "192.168.7.50    -                 -                            -        -\n");
}

TEST(ScanOutput, JsonHasEveryFieldNullWhereUnknownAndEscapesWhatNeedsIt) {
  std::vector<scan_device> d = {
      with_page(with_mac(device("10.0.0.1"), intel, "Intel \"Corporate\""), 200, "OK",
                "a\\b \"c\""),
      with_failure(device("10.0.0.2", ""), web_bad_reply)};
  EXPECT_EQ(scan_as(scan_format::json, true, d),
            "{\"port\":10000,\"rounds\":1,\"dropped\":0,\"devices\":["
            "{\"address\":\"10.0.0.1\",\"mac\":\"00:1b:21:0a:0b:0c\",\"vendor\":\"Intel "
            "\\\"Corporate\\\"\",\"interface\":\"eth0\",\"web\":{\"status\":200,\"reason\":\"OK\","
            "\"ms\":7,\"title\":\"a\\\\b \\\"c\\\"\"}},"
            "{\"address\":\"10.0.0.2\",\"mac\":null,\"vendor\":null,\"interface\":null,"
            "\"web\":{\"error\":\"bad-reply\",\"title\":null}}]}\n");
  EXPECT_EQ(scan_as(scan_format::json, false, {device("10.0.0.3")}, -1),
            "{\"port\":10000,\"rounds\":1,\"devices\":[{\"address\":\"10.0.0.3\",\"mac\":null,"
            "\"vendor\":null,\"interface\":\"eth0\"}]}\n")
      << "no drop count where the system keeps none";
}

TEST(ScanOutput, CsvIsRfc4180WithAHeaderAndQuotesWhereNeeded) {
  std::vector<scan_device> d = {
      with_page(with_mac(device("10.0.0.1"), intel, "Cisco Systems, Inc"), 200, "OK", "Say \"hi\""),
      with_failure(device("10.0.0.2", ""), web_timeout)};
  EXPECT_EQ(
      scan_as(scan_format::csv, true, d),
      "address,mac,vendor,interface,web_status,web_reason,web_ms,web_error,web_title\r\n"
      "10.0.0.1,00:1b:21:0a:0b:0c,\"Cisco Systems, Inc\",eth0,200,OK,7,,\"Say \"\"hi\"\"\"\r\n"
      "10.0.0.2,,,,,,,timeout,\r\n");
  EXPECT_EQ(scan_as(scan_format::csv, false, {device("10.0.0.3")}),
            "address,mac,vendor,interface\r\n10.0.0.3,,,eth0\r\n");
}

TEST(ScanOutput, WatchEventsFollowTheSameFormats) {
  scan_device found = with_page(with_mac(device("10.0.0.1"), intel, "Intel"), 200, "OK", "P");
  scan_device lost = with_mac(device("10.0.0.2"), local, "");
  auto events = [&](scan_format format) {
    return printed([&](FILE* f) {
      scan_printer p{f, format, true};
      scan_print_watch_start(p);
      scan_print_event(p, true, "2026-12-09T10:00:00Z", found);
      scan_print_event(p, false, "2026-12-09T10:00:05Z", lost);
    });
  };
  EXPECT_EQ(events(scan_format::lines), "+ 10.0.0.1 web 200 OK \"P\"\n- 10.0.0.2\n");
  EXPECT_EQ(events(scan_format::long_lines),
            "+ 10.0.0.1        00:1b:21:0a:0b:0c Intel                        eth0     web 200 OK "
            "\"P\"\n- 10.0.0.2        02:00:00:00:00:0a (locally administered)       eth0\n");
  EXPECT_EQ(events(scan_format::json),
            "{\"event\":\"found\",\"address\":\"10.0.0.1\",\"time\":\"2026-12-09T10:00:00Z\","
            "\"mac\":\"00:1b:21:0a:0b:0c\",\"vendor\":\"Intel\",\"interface\":\"eth0\",\"web\":{"
            "\"status\":200,\"reason\":\"OK\",\"ms\":7,\"title\":\"P\"}}\n"
            "{\"event\":\"lost\",\"address\":\"10.0.0.2\",\"time\":\"2026-12-09T10:00:05Z\","
            "\"mac\":\"02:00:00:00:00:0a\",\"vendor\":\"(locally administered)\",\"interface\":"
            "\"eth0\"}\n");
  EXPECT_EQ(
      events(scan_format::csv),
      "event,time,address,mac,vendor,interface,web_status,web_reason,web_ms,web_error,"
      "web_title\r\n"
      "found,2026-12-09T10:00:00Z,10.0.0.1,00:1b:21:0a:0b:0c,Intel,eth0,200,OK,7,,P\r\n"
      "lost,2026-12-09T10:00:05Z,10.0.0.2,02:00:00:00:00:0a,(locally administered),eth0,,,,,\r\n");
}

}  // namespace
