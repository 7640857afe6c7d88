#include <FL/fl_utf8.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "document/encoding.h"
#include "document_test_support.h"
#include "platform/platform.h"

namespace gm {
namespace {

using namespace std::string_literals;
using test::LocaleGuard;

constexpr const char* kFffd = "\xEF\xBF\xBD";

// The whole conversion through the two-call protocol.
std::string convert(const std::string& source) {
  const unsigned length = utf8_from_mb(nullptr, 0, source.data(), source.size());
  std::string out(length, '\0');
  EXPECT_EQ(utf8_from_mb(&out[0], length + 1, source.data(), source.size()), length);
  return out;
}

TEST(IsUtf8, AgreesWithFltkOnEveryLeadAndSecondByte) {
  // Every lead byte with every second byte, and the boundary values of the later ones:
  // overlong forms, surrogates, the U+10FFFF limit and cut sequences.
  const unsigned char later[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    for (int second = 0; second <= 0xFF; ++second) {
      for (unsigned char third : later) {
        for (unsigned char fourth : later) {
          const char text[] = {static_cast<char>(lead), static_cast<char>(second),
                               static_cast<char>(third), static_cast<char>(fourth)};
          for (unsigned size = 1; size <= 4; ++size) {
            ASSERT_EQ(is_utf8(text, size), fl_utf8test(text, size) != 0)
                << std::hex << lead << ' ' << second << ' ' << int(third) << ' ' << int(fourth)
                << " size " << size;
          }
        }
      }
    }
  }
}

TEST(IsUtf8, AgreesWithFltkOnEveryText) {
  // Mostly 7-bit text with sequences, stray bytes and cut sequences at every alignment.
  const std::string pieces[] = {
      "abcdefgh",     "x",    "\xC3\xA9", "\xE2\x80\x94", "\xF0\x9F\x98\x80", "\xED\xA0\x80",
      "\xEF\xBF\xBF", "\xC3", "\x80",     "\xE2\x80",     "\xF4\x90\x80\x80", "\xC0\xAF",
      "\xFF",         "\0"s};
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) {
      const size_t pick = random() % std::size(pieces);
      text += pieces[random() % 3 ? pick % 5 : pick];  // most pieces well-formed
    }
    ASSERT_EQ(is_utf8(text.data(), text.size()), fl_utf8test(text.data(), text.size()) != 0)
        << testing::PrintToString(text);
  }
}

TEST(Utf8FromMb, ConvertsLatin1AndAnswersTheFullLengthForAnyDestination) {
  if (!test::locale_exists(test::kLatin1Locale))
    GTEST_SKIP() << test::kLatin1Locale << " missing: run scripts/make-test-locale.sh";
  const LocaleGuard locale(test::kLatin1Locale);
  EXPECT_EQ(locale_codeset(), "ISO-8859-1");

  const std::string source = "caf\xE9\0\xFF"s;  // a zero byte inside counts like any other
  const std::string expected = "caf\xC3\xA9\0\xC3\xBF"s;
  EXPECT_EQ(utf8_from_mb(nullptr, 0, source.data(), source.size()), expected.size());
  EXPECT_EQ(convert(source), expected);

  char buffer[16];
  for (const unsigned dstlen : {4u, 8u, 9u}) {
    SCOPED_TRACE(dstlen);
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(utf8_from_mb(buffer, dstlen, source.data(), source.size()), expected.size());
    EXPECT_EQ(std::string(buffer + dstlen, sizeof buffer - dstlen),
              std::string(sizeof buffer - dstlen, '#'))
        << "wrote past the destination length";
    if (dstlen > expected.size()) {
      EXPECT_EQ(std::string(buffer, expected.size() + 1), expected + '\0');
    } else {
      EXPECT_EQ(std::string(buffer, 3), "caf");
    }
  }
}

TEST(Utf8FromMb, NeverPassesUndecodableBytesThrough) {
  {
    const LocaleGuard locale(test::kUtf8Locale);
    ASSERT_TRUE(locale.ok());
    EXPECT_EQ(convert("a\xFF"
                      "b\xC3\xA9"),
              "a"s + kFffd + "b\xC3\xA9");
    EXPECT_EQ(convert("cut \xE2\x82"), "cut "s + kFffd + kFffd);  // sequence cut by the end

    std::mt19937 random(11);
    std::string noise(65536, ' ');
    for (char& c : noise) c = static_cast<char>(random());
    const std::string out = convert(noise);
    EXPECT_NE(fl_utf8test(out.data(), out.size()), 0);
  }
  {
    const LocaleGuard locale("C");  // 7-bit: every high byte is undecodable
    EXPECT_EQ(convert("x\x80y"), "x"s + kFffd + "y");
  }
}

TEST(DisplayForm, EmptyForAValidUtf8Path) {
  EXPECT_EQ(display_form("/home/user/notes.txt"), "");
  EXPECT_EQ(display_form("/tmp/caf\xC3\xA9.txt"), "");
}

TEST(DisplayForm, ConvertsFromTheCodePageInANonUtf8Locale) {
  if (!test::locale_exists(test::kLatin1Locale))
    GTEST_SKIP() << test::kLatin1Locale << " missing: run scripts/make-test-locale.sh";
  test::in_fresh_process([] {
    const LocaleGuard locale(test::kLatin1Locale);
    EXPECT_EQ(display_form("/tmp/caf\xE9.txt"), "/tmp/caf\xC3\xA9.txt");
  });
}

TEST(DisplayForm, ReplacesBadBytesInAUtf8Locale) {
  test::in_fresh_process([] {
    const LocaleGuard locale(test::kUtf8Locale);
    ASSERT_TRUE(locale.ok());
    // Well-formed sequences stay, each stray byte becomes one U+FFFD.
    EXPECT_EQ(display_form("/tmp/\xC3\xA9\xE9\x80.txt"), "/tmp/\xC3\xA9"s + kFffd + kFffd + ".txt");
    EXPECT_EQ(display_form("end\xC3"), "end"s + kFffd);
  });
}

}  // namespace
}  // namespace gm
