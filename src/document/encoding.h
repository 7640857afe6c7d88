// Encoding: checking UTF-8 and converting from the locale's code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gm {

// The answer of fl_utf8test(text, size) != 0, found faster on mostly 7-bit text.
bool is_utf8(const char* text, size_t size);

// Whether a byte continues a UTF-8 sequence rather than starting a character.
constexpr bool is_continuation_byte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Where text may be cut before byte pos without splitting a character: pos moved back over
// continuation bytes, at most three (no character has more), never below floor.
size_t char_start(const char* text, size_t pos, size_t floor = 0);

// Converts src (srclen bytes, zero bytes included) from the locale's multibyte encoding
// (nl_langinfo(CODESET)) to UTF-8. Answers the UTF-8 length the whole source needs, even
// when dstlen is too small (dst may then be null); 0 on failure. Writes at most dstlen
// bytes and adds a terminating zero when there is room. A byte the code page cannot decode
// becomes U+FFFD, so the output always passes fl_utf8test().
unsigned utf8_from_mb(char* dst, unsigned dstlen, const char* src, unsigned srclen);

// A UTF-8 form of a path for showing: in a non-UTF-8 locale converted from its code page;
// in a UTF-8 locale, or when converting fails, with each byte that is not UTF-8 replaced
// by U+FFFD. Empty for a valid UTF-8 path.
std::string display_form(const std::string& path);

// Text as the toolkit's widgets may take it: valid UTF-8, with U+FFFD for each byte that
// is not part of a sequence fl_utf8test() accepts. For showing only; the bytes themselves
// stay as they are wherever they are kept.
std::string utf8_for_display(std::string_view text);

}  // namespace gm
