// Encoding: checking UTF-8 and converting from the locale's code page.
#pragma once

#include <string>

namespace gm {

// Converts src (srclen bytes, zero bytes included) from the locale's multibyte encoding
// (nl_langinfo(CODESET)) to UTF-8. Answers the UTF-8 length the whole source needs, even
// when dstlen is too small (dst may then be null); 0 on failure. Writes at most dstlen
// bytes and adds a terminating zero when there is room.
unsigned utf8_from_mb(char* dst, unsigned dstlen, const char* src, unsigned srclen);

// A UTF-8 form of a path for showing: converted from the locale's code page, or with each
// byte that is not UTF-8 replaced by U+FFFD when that fails. Empty for a valid UTF-8 path.
std::string display_form(const std::string& path);

}  // namespace gm
