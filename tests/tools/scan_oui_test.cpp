// The maker of a hardware address from registry files of ieee-data's form.

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/scan_oui.h"

namespace {

struct Registry : temp_dir_test {
  // The maker each address is given, "" where none; -2 when the lookup failed.
  std::vector<std::string> makers(const std::vector<const char*>& files,
                                  const std::vector<std::vector<uint8_t>>& macs,
                                  int32_t* named = nullptr) {
    std::vector<oui_query> q(macs.size());
    for (size_t i = 0; i < macs.size(); i++) std::copy(macs[i].begin(), macs[i].end(), q[i].mac);
    int32_t n = oui_lookup(files.data(), static_cast<int32_t>(files.size()), q.data(),
                           static_cast<int32_t>(q.size()));
    if (named) *named = n;
    std::vector<std::string> out;
    for (const oui_query& one : q) out.push_back(one.maker);
    return out;
  }
  // Where the system lists them (-1 elsewhere).
  static int32_t open_fds() {
    std::error_code err;
    std::filesystem::directory_iterator it("/proc/self/fd", err);
    if (err) return -1;
    return static_cast<int32_t>(std::distance(it, std::filesystem::directory_iterator()));
  }
};

TEST_F(Registry, TheLongestAssignmentThatHoldsTheAddressWinsAcrossFiles) {
  write_file("oui.csv",
             "Registry,Assignment,Organization Name,Organization Address\r\n"
             "MA-L,001B21,Intel Corporate,\"Lot 8, Jalan Hi-Tech 2/3 Kulim Kedah MY 09000 \"\r\n"
             "MA-L,F4BD9E,\"Cisco Systems, Inc\",80 West Tasman Drive San Jose CA US 94568\r\n"
             "MA-L,00000g,Not Hex,\r\n"
             "MA-L,00000,Too Short,\r\n"
             "MA-L,00DEAD,  ,\r\n"
             "MA-L,021B21,Locally Administered,\r\n"
             "MA-L-AND-A-REGISTRY-NAME-LONGER-THAN-ANY,0000000000000000000001,Long Fields,\r\n"
             "MA-L,00a0cf,Lower Case,\r\n");
  // The last line may come without its line end.
  write_file("mam.csv", "MA-M,001B21A,\"The \"\"Longer\"\" One\",\nMA-M,F4BD9E0,Private,");
  // An assignment written twice keeps the name it was first given.
  write_file("oui36.csv", "MA-S,001B21AB1,Longest\x01 Ltd ,\nMA-L,001B21,Written Again,\n");
  int32_t named = 0;
  auto got = makers({"oui.csv", "mam.csv", "oui36.csv", "missing.csv"},
                    {{0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c},
                     {0x00, 0x1b, 0x21, 0xa0, 0x00, 0x01},
                     {0x00, 0x1b, 0x21, 0xab, 0x1f, 0xff},
                     {0x00, 0x1b, 0x21, 0xab, 0x20, 0x00},
                     {0xf4, 0xbd, 0x9e, 0x11, 0x22, 0x33},
                     {0xf4, 0xbd, 0x9e, 0x01, 0x22, 0x33},
                     {0x00, 0xde, 0xad, 0x00, 0x00, 0x01},
                     {0x02, 0x1b, 0x21, 0x0a, 0x0b, 0x0c},
                     {0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
                     {0x00, 0x00, 0x10, 0x00, 0x00, 0x01},
                     {0x00, 0xa0, 0xcf, 0x01, 0x02, 0x03}},
                    &named);
  EXPECT_EQ(got, (std::vector<std::string>{"Intel Corporate", "The \"Longer\" One", "Longest Ltd",
                                           "The \"Longer\" One", "Cisco Systems, Inc", "Private",
                                           "", "", "", "", "Lower Case"}));
  EXPECT_EQ(named, 7);
}

TEST_F(Registry, NoReadableFileIsAFailureAndALongLineIsPassedOver) {
  int32_t named = 0;
  int32_t fds_before = open_fds();
  EXPECT_EQ(makers({"missing.csv"}, {{0, 0x1b, 0x21, 1, 2, 3}}, &named),
            std::vector<std::string>{""});
  EXPECT_EQ(named, -1);
  // What follows the first 2 KB of a line is still that line, however it reads.
  std::string head = "MA-L,001B21,";
  write_file("odd.csv", head + std::string(2047 - head.size(), 'x') +
                            "MA-S,001B21AB1,Tail,\nMA-L,001B21,After,\n");
  EXPECT_EQ(makers({"odd.csv"}, {{0, 0x1b, 0x21, 0xab, 0x10, 0}}),
            std::vector<std::string>{"After"});
  EXPECT_EQ(open_fds(), fds_before) << "a registry file was left open";
}

TEST_F(Registry, DebiansRegistryWhereInstalled) {
  const char* oui = "/usr/share/ieee-data/oui.csv";
  if (!std::filesystem::exists(oui)) GTEST_SKIP() << "ieee-data is not installed";
  EXPECT_EQ(makers({oui}, {{0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c}}),
            std::vector<std::string>{"Intel Corporate"});
}

}  // namespace
