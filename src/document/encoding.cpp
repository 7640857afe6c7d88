#include "document/encoding.h"

#include <FL/fl_utf8.h>
#include <iconv.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace gm {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr size_t kReplacementSize = sizeof(kReplacement) - 1;

class Converter {
 public:
  explicit Converter(const std::string& from) : cd_(iconv_open("UTF-32LE", from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Where the UTF-8 goes: into the caller's buffer while whole characters fit, after that
// only counted, so that the full length is known even for a short or missing destination.
class Sink {
 public:
  Sink(char* dst, size_t dstlen) : dst_(dst), room_(dst ? dstlen : 0) {}

  void put(uint32_t code_point) {
    // Past U+10FFFF and surrogates are not characters; the converter may still hand out
    // such values for some inputs, and fl_utf8test() refuses the former.
    if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      code_point = 0xFFFD;
    }
    char bytes[4];
    size_t length;
    if (code_point < 0x80) {
      bytes[0] = static_cast<char>(code_point);
      length = 1;
    } else if (code_point < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (code_point >> 6));
      bytes[1] = static_cast<char>(0x80 | (code_point & 0x3F));
      length = 2;
    } else if (code_point < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (code_point >> 12));
      bytes[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (code_point & 0x3F));
      length = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (code_point >> 18));
      bytes[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (code_point & 0x3F));
      length = 4;
    }
    if (!full_ && room_ - total_ >= length) {
      std::memcpy(dst_ + total_, bytes, length);
    } else {
      full_ = true;  // nothing more is written, so the text in dst stays whole characters
    }
    total_ += length;
  }

  size_t total() const { return total_; }
  void terminate() {
    if (dst_ && total_ < room_) dst_[total_] = '\0';
  }

 private:
  char* dst_;
  size_t room_;
  size_t total_ = 0;
  bool full_ = false;
};

// Length of the UTF-8 sequence a byte starts, judged by the lead byte alone.
size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Keeps every sequence that fl_utf8test() accepts and puts U+FFFD for each other byte.
std::string replace_invalid_bytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = sequence_length(static_cast<unsigned char>(text[i]));
    if (length > 0 && i + length <= text.size() &&
        fl_utf8test(text.data() + i, static_cast<unsigned>(length)) != 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.append(kReplacement, kReplacementSize);
      ++i;
    }
  }
  return out;
}

}  // namespace

// A multi-byte sequence holds no 7-bit byte, so the text is UTF-8 exactly when every run
// of bytes of 0x80 and above passes fl_utf8test() on its own; 7-bit runs are skipped a
// word at a time.
namespace {

// Length of the well-formed sequence at p (2 to 4 bytes), or 0. Same rule as fl_utf8test():
// no overlong forms, nothing above U+10FFFF; surrogates and U+FFFE/U+FFFF pass.
size_t sequence_length(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = p[0];
  size_t n;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < n || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < n; ++i)
    if (!is_continuation_byte(p[i])) return 0;
  return n;
}

}  // namespace

size_t char_start(const char* text, size_t pos, size_t floor) {
  for (int back = 0; back < 3 && pos > floor; ++back, --pos)
    if (!is_continuation_byte(static_cast<unsigned char>(text[pos]))) break;
  return pos;
}

bool is_utf8(const char* text, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* const end = p + size;
  while (p < end) {
    // Plain ASCII, eight bytes at a time.
    for (uint64_t word; end - p >= 8; p += 8) {
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080u) break;
    }
    while (p < end && *p < 0x80) ++p;
    if (p == end) break;
    const size_t n = sequence_length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

unsigned utf8_from_mb(char* dst, unsigned dstlen, const char* src, unsigned srclen) {
  // Decoding to UTF-32 and encoding here keeps what reaches dst under our own checks.
  Converter converter(locale_codeset());
  if (!converter.ok()) return 0;

  Sink sink(dst, dstlen);
  unsigned char decoded[16384];
  const auto drain = [&](const char* end) {
    for (const auto* p = decoded; p < reinterpret_cast<const unsigned char*>(end); p += 4) {
      sink.put(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
    }
  };

  char* in = const_cast<char*>(src);
  size_t in_left = srclen;
  bool flushed = false;
  while (!flushed) {
    char* out = reinterpret_cast<char*>(decoded);
    size_t out_left = sizeof decoded;
    // With the input used up, one more call lets a stateful encoding close its sequence.
    const bool flushing = in_left == 0;
    const size_t result = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &out_left)
                                   : iconv(converter.get(), &in, &in_left, &out, &out_left);
    const int error = errno;
    drain(out);
    if (result != static_cast<size_t>(-1)) {
      flushed = flushing;
      continue;
    }
    if (error == E2BIG) continue;
    if (flushing || (error != EILSEQ && error != EINVAL)) return 0;
    // Like the code-page converter of the original platform, an undecodable byte becomes
    // U+FFFD rather than failing the whole text or passing through raw.
    sink.put(0xFFFD);
    ++in;
    --in_left;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }

  if (sink.total() > UINT_MAX - 1) return 0;
  sink.terminate();
  return static_cast<unsigned>(sink.total());
}

std::string display_form(const std::string& path) {
  if (fl_utf8test(path.data(), static_cast<unsigned>(path.size())) != 0) return {};
  if (!fl_utf8locale()) {
    const unsigned length =
        utf8_from_mb(nullptr, 0, path.data(), static_cast<unsigned>(path.size()));
    if (length > 0) {
      std::string converted(length, '\0');
      // The string's own terminator makes room for the zero the converter adds.
      if (utf8_from_mb(&converted[0], length + 1, path.data(),
                       static_cast<unsigned>(path.size())) == length &&
          fl_utf8test(converted.data(), length) != 0) {
        return converted;
      }
    }
  }
  return replace_invalid_bytes(path);
}

std::string utf8_for_display(std::string_view text) {
  if (is_utf8(text.data(), text.size())) return std::string(text);
  return replace_invalid_bytes(text);
}

}  // namespace gm
