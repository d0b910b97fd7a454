#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/alloc.h"
#include "support/util.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fd_count.h"

namespace {

std::string bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

// Each test runs between a start and a stop, and must give back every block.
class Util : public temp_dir_test {
 protected:
  void SetUp() override {
    temp_dir_test::SetUp();
    mem_start();
  }
  void TearDown() override {
    EXPECT_EQ(my_total.load(), lock_size) << "a block was not given back";
    mem_stop();
    temp_dir_test::TearDown();
  }
};

TEST_F(Util, CopiesAddAZeroAndCountInTheAllocator) {
  char* empty = dup_bytes("x", 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(my_total.load(), lock_size + 1);
  my_free(empty);

  char* inner = dup_bytes("a\0b", 3);
  EXPECT_EQ(bytes(inner, 4), std::string("a\0b\0", 4));
  my_free(inner);

  char* c = dup_cstr("hello");
  EXPECT_STREQ(c, "hello");
  my_free(c);

  EXPECT_EQ(dup_str(nullptr), nullptr);
  char* s = dup_str("");
  EXPECT_STREQ(s, "");
  EXPECT_EQ(my_total.load(), lock_size + 1);
  my_free(s);

  EXPECT_EQ(dup_bytes("x", -1), nullptr);
}

TEST_F(Util, ReadAllGivesExactlyTheFileBytesAndRefusesEmptyOrMissingFiles) {
  char* block = reinterpret_cast<char*>(&block);
  char* const untouched = block;
  EXPECT_EQ(file_read_all("missing", &block), -1);
  EXPECT_EQ(block, untouched);

  write_file("empty", "");
  EXPECT_EQ(file_read_all("empty", &block), -1);
  EXPECT_EQ(block, untouched);
  EXPECT_EQ(my_total.load(), lock_size);

  write_file("five", std::string("ab\0\r\n", 5));
  ASSERT_EQ(file_read_all("five", &block), 5);
  EXPECT_EQ(bytes(block, 5), std::string("ab\0\r\n", 5));
  EXPECT_EQ(block[-1], 5) << "the block holds the file and nothing after it";
  EXPECT_EQ(my_total.load(), lock_size + 5);
  my_free(block);

  std::filesystem::create_directory("dir");
  block = untouched;
  EXPECT_EQ(file_read_all("dir", &block), -1);
  EXPECT_TRUE(block == untouched || block == nullptr);
}

TEST_F(Util, WriteAllReplacesTheFileAndReportsAnUnopenablePath) {
  write_file("out", "old and longer content");
  EXPECT_EQ(file_write_all("out", "new", 3), 0);
  EXPECT_EQ(read_file("out"), "new");
  EXPECT_EQ(file_write_all("out", "", 0), 0);
  EXPECT_TRUE(exists("out"));
  EXPECT_EQ(read_file("out"), "");
  EXPECT_EQ(file_write_all("no/such/dir/out", "x", 1), -1);
  EXPECT_EQ(file_write_all("out", "x", -1), -1);
}

TEST_F(Util, LargeFilesSurviveAWriteReadAndCopyRoundTrip) {
  // Larger than the copy buffer and not a multiple of it.
  std::string big(1000000 + 123, '\0');
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>((i * 131) >> 3);
  ASSERT_EQ(file_write_all("big", big.data(), static_cast<int32_t>(big.size())), 0);
  EXPECT_EQ(read_file("big"), big);

  char* block = nullptr;
  ASSERT_EQ(file_read_all("big", &block), static_cast<int32_t>(big.size()));
  EXPECT_EQ(bytes(block, big.size()), big);
  my_free(block);

  ASSERT_EQ(file_copy("big", "copy"), 0);
  EXPECT_EQ(read_file("copy"), big);

  write_file("exact", std::string(100000, 'e'));
  ASSERT_EQ(file_copy("exact", "exact.copy"), 0);
  EXPECT_EQ(read_file("exact.copy"), std::string(100000, 'e'));

  // A last read of a single byte, and a file of a single byte.
  write_file("one.more", std::string(100000, 'f') + "g");
  ASSERT_EQ(file_copy("one.more", "one.more.copy"), 0);
  EXPECT_EQ(read_file("one.more.copy"), std::string(100000, 'f') + "g");
  write_file("one", "h");
  ASSERT_EQ(file_copy("one", "one.copy"), 0);
  EXPECT_EQ(read_file("one.copy"), "h");
}

TEST_F(Util, CopyHandlesEmptySourcesAndPathsThatCannotBeOpened) {
  int fds = open_descriptor_count();
  write_file("empty", "");
  write_file("dst", "stale");
  EXPECT_EQ(file_copy("empty", "dst"), 0);
  EXPECT_TRUE(exists("dst"));
  EXPECT_EQ(read_file("dst"), "");

  EXPECT_EQ(file_copy("missing", "dst2"), -1);
  EXPECT_FALSE(exists("dst2"));

  write_file("src", "data");
  EXPECT_EQ(file_copy("src", "no/such/dir/dst"), -1);
  // The source was closed: it can be removed and replaced at once (Windows refuses an open file).
  EXPECT_TRUE(std::filesystem::remove("src"));

  std::filesystem::create_directory("dir");
  EXPECT_EQ(file_copy("dir", "from-dir"), -1) << "a read error is not a successful copy";
  EXPECT_EQ(open_descriptor_count(), fds) << "every copy closes what it opened";
}

// Opening the destination for writing used to empty it first: a copy onto the
// source lost the file and reported success.
TEST_F(Util, CopyOntoTheSourceUnderAnyNameFailsAndKeepsTheFile) {
  int fds = open_descriptor_count();
  write_file("x", "precious");
  std::filesystem::create_directory("d");
  std::filesystem::create_hard_link("x", "d/link");
  for (const char* same : {"x", "./x", "d/../x", "d/link"}) {
    EXPECT_EQ(file_copy("x", same), -1) << same;
    EXPECT_EQ(file_copy(same, "x"), -1) << same;
  }
  EXPECT_EQ(read_file("x"), "precious");
  write_file("other", "longer stale content");
  EXPECT_EQ(file_copy("d/link", "other"), 0) << "a link's content copies onto another file";
  EXPECT_EQ(read_file("other"), "precious");
  EXPECT_EQ(open_descriptor_count(), fds) << "a refused copy closes both files";
}

TEST_F(Util, CreatedFilesAreOrdinaryDataFiles) {
  namespace fs = std::filesystem;
  ASSERT_EQ(file_write_all("plain", "x", 1), 0);
  ASSERT_EQ(file_copy("plain", "copied"), 0);
  for (const char* name : {"plain", "copied"}) {
    auto perms = fs::status(name).permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none) << name;
    EXPECT_EQ(perms & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec |
                       fs::perms::sticky_bit),
              fs::perms::none)
        << name;
  }
}

TEST_F(Util, CursorPutsAndGetsMoveThePositionPastTheirData) {
  uint8_t buf[32];
  memset(buf, 0xEE, sizeof buf);
  int32_t pos = 0;
  put_lp_string(buf, &pos, "abc", 3);
  EXPECT_EQ(pos, 7);
  EXPECT_EQ(bytes(buf, 8), std::string("\0\0\0\3abc\xEE", 8));

  char out[8];
  memset(out, 'z', sizeof out);
  int32_t at = 0;
  EXPECT_EQ(get_lp_string(buf, &at, out), 3);
  EXPECT_EQ(at, 7);
  EXPECT_EQ(bytes(out, 5), std::string("abc\0z", 5));

  put_lp_string(buf, &pos, "", 0);
  EXPECT_EQ(pos, 11);
  memset(out, 'z', sizeof out);
  EXPECT_EQ(get_lp_string(buf, &at, out), 0);
  EXPECT_EQ(at, 11);
  EXPECT_EQ(bytes(out, 2), std::string("\0z", 2));

  put_bytes(buf, &pos, "\0\1", 2);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(buf[12], 1);

  // One byte, the smallest count that moves anything.
  uint8_t one[8];
  int32_t put_at = 0, get_at = 0;
  put_lp_string(one, &put_at, "q", 1);
  EXPECT_EQ(put_at, 5);
  memset(out, 'z', sizeof out);
  EXPECT_EQ(get_lp_string(one, &get_at, out), 1);
  EXPECT_EQ(get_at, 5);
  EXPECT_EQ(bytes(out, 3), std::string("q\0z", 3));
}

// A negative length used to move the cursor back; a stored length of 2^31 or
// more read as negative and wrote a zero before out.
TEST_F(Util, NegativeLengthsPutNothingAndHugeStoredLengthsGetNothing) {
  uint8_t buf[16];
  memset(buf, 0xEE, sizeof buf);
  int32_t pos = 4;
  put_bytes(buf, &pos, "abc", -1);
  put_lp_string(buf, &pos, "abc", -3);
  put_lp_string(buf, &pos, "abc", INT32_MIN);
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(bytes(buf, sizeof buf), std::string(sizeof buf, '\xEE'));

  char area[8];
  for (uint32_t stored : {0x80000000u, 0xFFFFFFFFu, 0x80000003u}) {
    put_u32_be(buf + 2, stored);
    memset(area, 'z', sizeof area);
    int32_t at = 2;
    EXPECT_EQ(get_lp_string(buf, &at, area + 4), -1) << stored;
    EXPECT_EQ(at, 2) << stored;
    EXPECT_EQ(bytes(area, sizeof area), std::string(sizeof area, 'z')) << stored;
  }
}

TEST_F(Util, PutFormatLeavesThePositionOnItsZero) {
  uint8_t buf[16];
  memset(buf, 0xEE, sizeof buf);
  int32_t pos = 3;
  put_format(buf, &pos, "%d", 42);
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(bytes(buf + 3, 4), std::string("42\0\xEE", 4));
  put_format(buf, &pos, "%s", "xy");
  EXPECT_EQ(pos, 7);
  EXPECT_EQ(bytes(buf + 3, 5), std::string("42xy\0", 5));
}

TEST_F(Util, PutFormatCutsALongTextAt999Characters) {
  std::string big(3000, 'q');
  uint8_t buf[1100];
  memset(buf, 0xEE, sizeof buf);
  int32_t pos = 0;
  put_format(buf, &pos, "%s", big.c_str());
  EXPECT_EQ(pos, 999);
  EXPECT_EQ(buf[999], 0);
  EXPECT_EQ(buf[1000], 0xEE);

  // One character over the limit: the cut still falls at 999.
  pos = 0;
  put_format(buf, &pos, "%s", big.substr(0, 1000).c_str());
  EXPECT_EQ(pos, 999);
}

TEST_F(Util, CheckedLengthPrefixedReadRefusesLengthsBeyondInputOrDestination) {
  uint8_t buf[16];
  int32_t pos = 0;
  put_lp_string(buf, &pos, "hello", 5);
  char out[8];
  memset(out, 'z', sizeof out);

  int32_t at = 0;
  EXPECT_EQ(get_lp_string_checked(buf, 8, &at, out, sizeof out), -1) << "runs past the input";
  EXPECT_EQ(get_lp_string_checked(buf, 9, &at, out, 5), -1) << "no room for the zero";
  EXPECT_EQ(get_lp_string_checked(buf, 3, &at, out, 8), -1) << "length cut off";
  EXPECT_EQ(at, 0);
  EXPECT_EQ(out[0], 'z');

  put_u32_be(buf, 0xFFFFFFF0u);
  EXPECT_EQ(get_lp_string_checked(buf, 16, &at, out, sizeof out), -1);
  put_u32_be(buf, 5);
  EXPECT_EQ(get_lp_string_checked(buf, 9, &at, out, 6), 5);
  EXPECT_EQ(at, 9);
  EXPECT_STREQ(out, "hello");
  EXPECT_EQ(get_lp_string_checked(buf, 9, &at, out, 6), -1) << "nothing left";
}

TEST_F(Util, CheckedLengthPrefixedReadWorksFromAnyPositionUpToTheLastByte) {
  uint8_t buf[16];
  int32_t pos = 0;
  put_lp_string(buf, &pos, "ab", 2);
  put_lp_string(buf, &pos, "", 0);
  put_lp_string(buf, &pos, "cd", 2);
  ASSERT_EQ(pos, 16);
  char out[4];
  int32_t at = 0;
  EXPECT_EQ(get_lp_string_checked(buf, 16, &at, out, 3), 2) << "room for the text and its zero";
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(get_lp_string_checked(buf, 16, &at, out, 0), -1) << "no room even for the zero";
  EXPECT_EQ(get_lp_string_checked(buf, 16, &at, out, 1), 0);
  EXPECT_EQ(at, 10);
  EXPECT_EQ(get_lp_string_checked(buf, 13, &at, out, 4), -1) << "its length cut off";
  EXPECT_EQ(get_lp_string_checked(buf, 15, &at, out, 4), -1) << "one byte short";
  EXPECT_EQ(at, 10);
  EXPECT_EQ(get_lp_string_checked(buf, 16, &at, out, 4), 2);
  EXPECT_STREQ(out, "cd");

  int32_t last = 6;
  EXPECT_EQ(get_lp_string_checked(buf, 10, &last, out, 1), 0) << "an empty text ends the input";
  EXPECT_EQ(last, 10);
}

TEST(BigEndian, WritesAndReadsTheMostSignificantByteFirst) {
  uint8_t b[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  put_u16_be(b, 258);
  EXPECT_EQ(bytes(b, 3), std::string("\1\2\xEE", 3));
  EXPECT_EQ(get_u16_be(b), 258);
  const uint8_t high[4] = {0x80, 0x00, 0x00, 0x01};
  EXPECT_EQ(get_u32_be(high), 2147483649u);
  put_u32_be(b, 0xA1B2C3D4u);
  EXPECT_EQ(bytes(b, 4), "\xA1\xB2\xC3\xD4");
  EXPECT_EQ(get_u32_be(b), 0xA1B2C3D4u);
  const uint8_t top[2] = {0xFF, 0xFE};
  EXPECT_EQ(get_u16_be(top), 0xFFFE);
}

TEST(Scan, ScanToStopsAtItsCharacterOrASeparatorOrTheLength) {
  const char* s = "ab,c";
  int32_t pos = 0;
  EXPECT_EQ(scan_to(s, 4, &pos, 0), 0);
  EXPECT_EQ(pos, 2);
  pos = 0;
  scan_to(s, 4, &pos, 'c');
  EXPECT_EQ(pos, 3);
  pos = 0;
  scan_to(s, 4, &pos, 'x');
  EXPECT_EQ(pos, 4);
  pos = 7;
  scan_to(s, 4, &pos, 0);
  EXPECT_EQ(pos, 7) << "a position at or past the length stays";

  const char z[] = {'a', 0, 'b', '\t', 'c'};
  pos = 0;
  scan_to(z, 5, &pos, 0);
  EXPECT_EQ(pos, 3) << "a zero does not stop the scan";
  pos = 0;
  scan_to(z, 5, &pos, 'b');
  EXPECT_EQ(pos, 2);
}

TEST(Scan, NextWordAndParseDigitsReadAWordAndANumber) {
  const char* line = "  ab cd";
  int32_t pos = 0;
  EXPECT_EQ(next_word(line, &pos), 2);
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(next_word(line, &pos), 5);
  EXPECT_EQ(pos, 7);
  EXPECT_EQ(next_word(line, &pos), 7) << "at the end the word is empty";
  EXPECT_EQ(pos, 7);

  pos = 0;
  const char* tabs = "\t \tx\ty";
  skip_blanks(tabs, &pos);
  EXPECT_EQ(pos, 3);
  skip_to_blank(tabs, &pos);
  EXPECT_EQ(pos, 4);

  pos = 0;
  EXPECT_EQ(parse_digits("12a", &pos), 12);
  EXPECT_EQ(pos, 2);
  pos = 0;
  EXPECT_EQ(parse_digits("a", &pos), 0);
  EXPECT_EQ(pos, 0);
  pos = 0;
  EXPECT_EQ(parse_digits("-5", &pos), 0) << "no sign is read";
  EXPECT_EQ(pos, 0);
  pos = 0;
  EXPECT_EQ(parse_digits("4294967297", &pos), 1) << "wraps at 32 bits";
  EXPECT_EQ(pos, 10);
}

struct item {
  ring_node link;
  int value;
};

TEST(Ring, InsertsAfterANodeAndUnlinksWithoutTouchingTheNode) {
  item head{{nullptr, nullptr}, 0};
  head.link.next = head.link.prev = &head.link;
  item a{{nullptr, nullptr}, 1};
  item b{{nullptr, nullptr}, 2};
  ring_insert_after(&head.link, &a.link);
  ring_insert_after(&a.link, &b.link);
  EXPECT_EQ(head.link.next, &a.link);
  EXPECT_EQ(a.link.next, &b.link);
  EXPECT_EQ(b.link.next, &head.link);
  EXPECT_EQ(head.link.prev, &b.link);
  EXPECT_EQ(b.link.prev, &a.link);

  ring_unlink(&a.link);
  EXPECT_EQ(head.link.next, &b.link);
  EXPECT_EQ(b.link.prev, &head.link);
  EXPECT_EQ(a.link.next, &b.link) << "the unlinked node keeps its fields";
  EXPECT_EQ(a.link.prev, &head.link);

  item lone{{nullptr, nullptr}, 3};
  ring_unlink(&lone.link);
  EXPECT_EQ(lone.link.next, nullptr);
  EXPECT_EQ(lone.link.prev, nullptr);
}

TEST(Case, MapsOnlyAsciiLettersAndReturnsTheString) {
  char s[] = "aZ1\xE9-q";
  EXPECT_EQ(upper_str(s), s);
  EXPECT_STREQ(s, "AZ1\xE9-Q");
  EXPECT_EQ(lower_str(s), s);
  EXPECT_STREQ(s, "az1\xE9-q");
  char t[] = "abcd";
  upper_n(t, 2);
  EXPECT_STREQ(t, "ABcd");
  lower_n(t, 1);
  EXPECT_STREQ(t, "aBcd");
}

TEST(Case, CompareNocaseTakesBytesAsSignedAndComparesTheShorterOnesZero) {
  EXPECT_EQ(compare_nocase("abc", "ABC"), 0);
  EXPECT_EQ(compare_nocase("abc", "ab"), 'c');
  EXPECT_EQ(compare_nocase("ab", "abc"), -'c');
  EXPECT_EQ(compare_nocase("", ""), 0);
  // 0x80 to 0xFF count as negative: the end of a string compares above them.
  EXPECT_EQ(compare_nocase("ab", "ab\x80"), 128);
  EXPECT_GT(compare_nocase("ab", "ab\xFF"), 0);
  EXPECT_EQ(compare_nocase("\xE9", "a"), -23 - 'a');
  EXPECT_LT(compare_nocase("A", "b"), 0);
  EXPECT_EQ(compare_nocase("[", "a"), '[' - 'a') << "only letters change case";

  const char a[] = {'x', 0, 'p'};
  const char b[] = {'X', 0, 'q'};
  EXPECT_EQ(compare_nocase_n(a, b, 2), 0);
  EXPECT_EQ(compare_nocase_n(a, b, 3), 'p' - 'q') << "bytes behind a common zero count too";
  EXPECT_EQ(compare_nocase_n(a, b, 0), 0);
}

}  // namespace
