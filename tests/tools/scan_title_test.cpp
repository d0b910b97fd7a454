// The reading of a page's <title> from the raw answer: what counts as the
// title, how it is decoded and made safe for a terminal, and that the
// pieces the answer arrives in never change the outcome.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tools/scan_title.h"

namespace {

using title = std::optional<std::string>;

const std::string headers = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

title text_of(const title_reader& t) {
  char out[title_text_size];
  std::memset(out, 'x', sizeof out);
  bool has = title_text(&t, out);
  EXPECT_LT(std::strlen(out), sizeof out);
  if (!has) {
    EXPECT_STREQ(out, "");
    return std::nullopt;
  }
  return std::string(out);
}

title read_pieces(const std::string& answer, const std::vector<size_t>& cuts) {
  title_reader t;
  title_begin(&t);
  size_t from = 0;
  for (size_t cut : cuts) {
    title_feed(&t, answer.data() + from, static_cast<int32_t>(cut - from));
    from = cut;
  }
  title_feed(&t, answer.data() + from, static_cast<int32_t>(answer.size() - from));
  return text_of(t);
}

// The title of a whole answer, checked to be the same fed a byte at a time
// and in two pieces at every cut (every step-th for long answers).
title read_title(const std::string& answer, size_t step = 1) {
  title whole = read_pieces(answer, {});
  std::vector<size_t> bytes;
  for (size_t i = 1; i < answer.size(); i++) bytes.push_back(i);
  EXPECT_EQ(read_pieces(answer, bytes), whole) << "byte by byte";
  for (size_t cut = 0; cut <= answer.size(); cut += step) {
    title halves = read_pieces(answer, {cut});
    if (halves != whole) {
      ADD_FAILURE() << "cut at " << cut;
      break;
    }
  }
  return whole;
}

struct page_case {
  const char* what;
  std::string body;  // after the headers
  title expected;
};

void run_cases(const std::vector<page_case>& cases) {
  for (const page_case& c : cases) {
    EXPECT_EQ(read_title(headers + c.body), c.expected) << c.what;
  }
}

const title none = std::nullopt;

TEST(TitleFinding, WhereTheTitleIs) {
  run_cases({
      {"plain", "<html><head><title>Boiler & Pump 3</title></head></html>", "Boiler & Pump 3"},
      {"any case", "<TITLE>Boiler</TiTlE>", "Boiler"},
      {"attributes", "<title lang=\"en\" dir=ltr>Boiler</title>", "Boiler"},
      {"a quoted '>' inside the tag", "<title data-x='a>b' y=\"c>d\">Boiler</title>", "Boiler"},
      {"white space after the name", "<title\n>Boiler</title\t>", "Boiler"},
      {"self-closing form still opens", "<title/>Boiler</title>", "Boiler"},
      {"<titles> is no title", "<titles>Not</titles><title>Yes</title>", "Yes"},
      {"only <titles>", "<titles>Not</titles>", none},
      {"</titlex is text", "<title>a</titlex>b</title>", "a</titlex>b"},
      {"tags inside are text", "<title><b>Bold</b></title>", "<b>Bold</b>"},
      {"the first title counts", "<title>One</title><title>Two</title>", "One"},
      {"<<title> after a stray '<'", "<<title>Boiler<</title>", "Boiler<"},
      {"still open at the end", "<title>Boiler Pu", "Boiler Pu"},
      {"cut inside the end tag", "<title>Boiler</tit", "Boiler</tit"},
      {"start tag never closed", "<title lang=\"en", none},
      {"no title", "<html><body>Boiler</body></html>", none},
      {"empty", "<title></title>", none},
      {"only white space", "<title> \t\r\n </title>", none},
      {"only an escape sequence", "<title>\x1b[31m</title>", none},
  });
}

TEST(TitleFinding, HeadersAreNotTheBody) {
  struct answer_case {
    const char* what;
    std::string answer;
    title expected;
  } cases[] = {
      {"CRLF", "HTTP/1.0 200 OK\r\nX-Title: <title>Fake</title>\r\n\r\n<title>Real</title>",
       "Real"},
      {"LF", "HTTP/1.0 200 OK\nX-Title: <title>Fake</title>\n\n<title>Real</title>", "Real"},
      {"mixed", "HTTP/1.0 200 OK\r\nA: b\n\r\n<title>Real</title>", "Real"},
      {"only in a header", "HTTP/1.0 200 OK\r\nX: <title>Fake</title>\r\n\r\n<p>x</p>", none},
      {"headers never end", "HTTP/1.0 200 OK\r\nX: <title>Fake</title>\r\n", none},
      {"no HTTP at all", "<title>Fake</title>", none},
  };
  for (const answer_case& c : cases) EXPECT_EQ(read_title(c.answer), c.expected) << c.what;
}

TEST(TitleDecoding, Entities) {
  run_cases({
      {"the common ones", "<title>&amp; &lt; &gt; &quot; &apos;</title>", "& < > \" '"},
      {"Latin-1", "<title>K&uuml;hlung &Eacute;tage &yuml;&nbsp;</title>",
       "K\u00fchlung \u00c9tage \u00ff\u00a0"},
      {"first and last of the table", "<title>&AElig;x&zwnj;</title>", "\u00c6x\u200c"},
      {"symbols and Greek", "<title>&thetasym; &Omega; &hearts; &euro; &rArr;</title>",
       "\u03d1 \u03a9 \u2665 \u20ac \u21d2"},
      {"names are case-sensitive", "<title>&Amp; &COPY; &copy;</title>", "&Amp; &COPY; \u00a9"},
      {"decimal and hex", "<title>&#65;&#x42;&#X43;&#0068;&#x1F600;</title>", "ABCD\U0001f600"},
      {"no code point", "<title>&#0;&#xD800;&#xDFFF;&#x110000;&#99999999999999999999;</title>",
       "\ufffd\ufffd\ufffd\ufffd\ufffd"},
      {"Windows-1252 numbers", "<title>&#150;&#x80;&#155;</title>", "\u2013\u20ac\u203a"},
      {"unknown stays", "<title>&foo; &thetasymx; &#; &#x; &#12a;</title>",
       "&foo; &thetasymx; &#; &#x; &#12a;"},
      {"unterminated stays", "<title>&amp &copy2 &#65 & Pump &</title>",
       "&amp &copy2 &#65 & Pump &"},
      {"decoded once only", "<title>&amp;lt; &amp;amp; &#38;#65;</title>", "&lt; &amp; &#65;"},
      {"a '&' before a reference", "<title>&&amp;&</title>", "&&&"},
  });
}

TEST(TitleDecoding, BrokenUtf8IsReplacedPerMaximalSubpart) {
  run_cases({
      {"valid text", "<title>S\u00fcd \u6e29\u5ea6 \U0001f525</title>",
       "S\u00fcd \u6e29\u5ea6 \U0001f525"},
      {"a lone lead byte", "<title>\xc3(</title>", "\ufffd("},
      {"a truncated three-byte sequence is one", "<title>\xe2\x82x</title>", "\ufffdx"},
      {"truncated at the title's end", "<title>a\xf0\x9f\x98</title>", "a\ufffd"},
      {"surrogate", "<title>\xed\xa0\x80</title>", "\ufffd\ufffd\ufffd"},
      {"overlong", "<title>\xc0\xaf\xe0\x80\xaf</title>", "\ufffd\ufffd\ufffd\ufffd\ufffd"},
      {"past U+10FFFF", "<title>\xf4\x90\x80\x80</title>", "\ufffd\ufffd\ufffd\ufffd"},
      {"bytes never in UTF-8", "<title>\xff\xfe\x80</title>", "\ufffd\ufffd\ufffd"},
      {"a C1 byte on its own", "<title>a\23331mb</title>", "a\ufffd31mb"},
  });
}

TEST(TitleSafety, EscapeSequencesGoWhole) {
  run_cases({
      {"SGR", "<title>Boiler\x1b[31mRed\x1b[0m</title>", "BoilerRed"},
      {"CSI with intermediates", "<title>a\x1b[?25l\x1b[2 qb</title>", "ab"},
      {"screen wipe", "<title>\x1b[2J\x1b[HBoiler</title>", "Boiler"},
      {"OSC to BEL", "<title>\x1b]0;owned\007Boiler</title>", "Boiler"},
      {"OSC to ST", "<title>\x1b]8;;http://x\x1b\\Boiler</title>", "Boiler"},
      {"OSC never ended", "<title>Boiler\x1b]2;owned</title>", "Boiler"},
      {"OSC ended by another sequence", "<title>\x1b]2;x\x1b[1mBoiler</title>", "Boiler"},
      {"DCS", "<title>\x1bPq#0\x1b\\OK</title>", "OK"},
      {"C1 CSI", "<title>\302\23331mRed</title>", "Red"},
      {"C1 OSC to C1 ST", "<title>\302\2350;x\302\234Boiler</title>", "Boiler"},
      {"two-byte ESC c", "<title>\033cReset</title>", "Reset"},
      {"ESC with intermediates", "<title>\x1b(BOK\x1b#8</title>", "OK"},
      {"ESC before a non-ASCII character", "<title>\x1b\u00e9</title>", "\u00e9"},
      {"ESC at the end", "<title>OK\x1b</title>", "OK"},
      {"written as references", "<title>&#27;[31mRed&#x1b;]0;x&#7;!</title>", "Red!"},
      {"a malformed CSI ends at a control", "<title>\x1b[31\x01OK</title>", "OK"},
  });
}

TEST(TitleSafety, ControlsAndBidiGo) {
  run_cases({
      {"C0, DEL and C1", "<title>A\001B\177C\302\205D\013E</title>", "ABCDE"},
      {"NUL", std::string("<title>A\0B</title>", 18), "AB"},
      {"bidi overrides", "<title>abc\u202egnp.exe\u202c</title>", "abcgnp.exe"},
      {"bidi isolates", "<title>\u2066a\u2067b\u2068c\u2069</title>", "abc"},
      {"bidi as references", "<title>x&#x202E;y&#8294;z</title>", "xyz"},
      {"marks stay", "<title>a&rlm;b&lrm;</title>", "a\u200fb\u200e"},
  });
}

TEST(TitleSafety, WhiteSpaceFoldsAndTrims) {
  run_cases({
      {"runs and ends", "<title>  Boiler \t\r\n  Pump\f3  </title>", "Boiler Pump 3"},
      {"as references", "<title>&#10;A&#9;&#13;B&#32;</title>", "A B"},
      {"no-break spaces stay", "<title>&nbsp;A&nbsp;&nbsp;B</title>", "\u00a0A\u00a0\u00a0B"},
      {"line and paragraph separators fold", "<title>A\u2028B\u2029</title>", "A B"},
      {"a removed control joins nothing", "<title>A \x01 B</title>", "A B"},
      {"around an escape", "<title>A \x1b[1m B</title>", "A B"},
  });
}

TEST(TitleSafety, AtMostAHundredCodePoints) {
  std::string e_acute, euro, fire;
  for (int i = 0; i < 150; i++) e_acute += "\u00e9";
  for (int i = 0; i < 100; i++) euro += "\u20ac";
  for (int i = 0; i < 120; i++) fire += "\U0001f525";
  std::string a99(99, 'a');
  run_cases({
      {"two-byte characters", "<title>" + e_acute + "</title>", e_acute.substr(0, 200)},
      {"exactly a hundred", "<title>" + euro + "</title>", euro},
      {"four-byte characters fill the buffer", "<title>" + fire + "</title>", fire.substr(0, 400)},
      {"no space left for a space and more", "<title>" + a99 + " b</title>", a99},
      {"a hundred with the space", "<title>" + std::string(98, 'a') + " b c</title>",
       std::string(98, 'a') + " b"},
      {"references count once", "<title>" + std::string(99, 'a') + "&amp;&amp;</title>",
       std::string(99, 'a') + "&"},
  });
}

std::string garbage(size_t n, uint32_t seed) {
  std::string out;
  uint32_t x = seed | 1;
  while (out.size() < n) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    char c = static_cast<char>(x & 0xFF);
    out.push_back(c == '<' ? '>' : c);
  }
  return out;
}

bool safe_for_a_terminal(const std::string& s) {
  int32_t chars = 0;
  for (size_t i = 0; i < s.size(); chars++) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    uint32_t c = len == 1 ? b : b & (0x3F >> (len - 1));
    for (int k = 1; k < len; k++) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069)) {
      return false;
    }
    i += static_cast<size_t>(len);
  }
  return chars <= title_max_chars && s.front() != ' ' && s.back() != ' ';
}

TEST(TitleBadInput, SixtyFourKilobytes) {
  const std::string noise = garbage(64 * 1024, 7);
  // No headers and no '<': nothing.
  EXPECT_EQ(read_title(noise, 997), none);
  // Garbage before the title: it is still found, as long as the caller reads on.
  EXPECT_EQ(read_title(headers + noise + "<title>Late</title>", 997), "Late");
  // Garbage as the title: cut, safe, and over once the kept bytes are full.
  title t = read_title(headers + "<title>" + noise, 997);
  ASSERT_TRUE(t.has_value());
  EXPECT_TRUE(safe_for_a_terminal(*t)) << *t;
  for (uint32_t seed = 1; seed < 40; seed++) {
    title g = read_title(headers + "<title>" + garbage(3000, seed) + "</title>", 61);
    if (g) {
      EXPECT_TRUE(safe_for_a_terminal(*g)) << seed;
    }
  }
}

TEST(TitleBadInput, OnlyTheFirstKilobytesOfTheTitleAreKept) {
  EXPECT_EQ(read_title(headers + "<title>" + std::string(3000, ' ') + "X</title>", 13), none);
  EXPECT_EQ(read_title(headers + "<title>" + std::string(2047, ' ') + "X</title>", 13), "X");
  // A character cut in two by the limit is dropped, not shown as broken.
  EXPECT_EQ(read_title(headers + "<title>" + std::string(2047, '\x01') + "\u00e9</title>", 13),
            none);
  // One that the end tag ends is broken.
  EXPECT_EQ(read_title(headers + "<title>" + std::string(2046, '\x01') + "\xc3</title>", 13),
            "\ufffd");
}

TEST(TitleDone, WhatItGivesOnceDoneIsFinal) {
  const std::string controls(title_raw_max - 1, '\x01');
  const std::string cases[] = {
      "<title>Boiler</title>tail",
      "<title>" + controls + "\xc3 and more",
      "<title>" + controls + "\xc3</title>",
      "<title>" + std::string(title_raw_max - 1, 'a') + "\xe2\x82\xac",
  };
  for (const std::string& body : cases) {
    std::string answer = headers + body;
    title_reader t;
    title_begin(&t);
    title at_done;
    bool done = false;
    for (char c : answer) {
      title_feed(&t, &c, 1);
      if (!done && title_done(&t)) at_done = text_of(t);
      done = done || title_done(&t);
    }
    EXPECT_TRUE(done) << body.substr(0, 20);
    EXPECT_EQ(text_of(t), at_done) << body.substr(0, 20);
  }
}

TEST(TitleDone, OnceNothingCanChangeTheOutcome) {
  const std::string full(title_raw_max, 'a');
  struct done_case {
    const char* what;
    std::string body;
    bool done;
  } cases[] = {
      {"nothing yet", "", false},
      {"title open", "<title>Boiler", false},
      {"end tag half seen", "<title>Boiler</titl", false},
      {"end tag without its end", "<title>Boiler</title", false},
      {"end tag", "<title>Boiler</title>", true},
      {"end tag with a space", "<title>Boiler</title ", true},
      {"kept bytes full", "<title>" + full, true},
      {"kept bytes full and more", "<title>" + full + "bbb", true},
      {"end tag begun before the limit", "<title>" + full.substr(3) + "</ti", false},
      {"end tag begun at the limit", "<title>" + full + "</ti", true},
      {"no title in the page", "<html><body></body></html>", false},
  };
  for (const done_case& c : cases) {
    title_reader t;
    title_begin(&t);
    std::string answer = headers + c.body;
    title_feed(&t, answer.data(), static_cast<int32_t>(answer.size()));
    EXPECT_EQ(title_done(&t), c.done) << c.what;
  }
  // Done means done: nothing more is taken in.
  title_reader t;
  title_begin(&t);
  std::string answer = headers + "<title>A</title><title>B</title>";
  title_feed(&t, answer.data(), static_cast<int32_t>(answer.size()));
  title_feed(&t, "</title>", 8);
  EXPECT_EQ(text_of(t), "A");
}

}  // namespace
