#include "export/text_positions.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "document/encoding.h"

namespace gm {

namespace {
bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

CodePoints::CodePoints(std::string_view text) : text_(text) {
  const int64_t size = static_cast<int64_t>(text.size());
  before_block_.reserve(static_cast<size_t>(size / kBlock + 1));
  int64_t seen = 0;
  for (int64_t block = 0; block < size; block += kBlock) {
    before_block_.push_back(static_cast<int32_t>(seen));
    seen += count(block, std::min(block + kBlock, size));
  }
  total_ = seen;
}

int64_t CodePoints::count(int64_t from, int64_t to) const {
  int64_t n = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text_.data());
  int64_t i = from;
  // Eight bytes at a time: a continuation byte has its top bit set and the next one clear.
  for (; i + 8 <= to; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    // One bit per continuation byte, at bit 7 of its byte; the multiply adds them up in
    // the top byte (a popcount call where the CPU's instruction is not assumed).
    const uint64_t marks = (word & ~(word << 1) & 0x8080808080808080ull) >> 7;
    n += 8 - static_cast<int64_t>((marks * 0x0101010101010101ull) >> 56);
  }
  for (; i < to; ++i) n += !is_continuation(p[i]);
  return n;
}

int64_t CodePoints::ceil(int64_t byte) const {
  const int64_t size = static_cast<int64_t>(text_.size());
  if (byte <= 0) return 0;
  if (byte >= size) return total_;
  const int64_t block = byte / kBlock;
  return before_block_[static_cast<size_t>(block)] + count(block * kBlock, byte);
}

int64_t CodePoints::floor(int64_t byte) const { return ceil(boundary_before(byte)); }

int64_t CodePoints::boundary_before(int64_t byte) const {
  const int64_t size = static_cast<int64_t>(text_.size());
  if (byte <= 0) return 0;
  if (byte >= size) return size;
  while (byte > 0 && is_continuation(static_cast<unsigned char>(text_[byte]))) --byte;
  return byte;
}

int64_t CodePoints::boundary_after(int64_t byte) const {
  const int64_t size = static_cast<int64_t>(text_.size());
  if (byte <= 0) return 0;
  while (byte < size && is_continuation(static_cast<unsigned char>(text_[byte]))) ++byte;
  return std::min(byte, size);
}

int64_t CodePoints::back_from(int64_t boundary, int64_t count) const {
  int64_t byte = std::clamp<int64_t>(boundary, 0, static_cast<int64_t>(text_.size()));
  for (; count > 0 && byte > 0; --count) {
    --byte;
    while (byte > 0 && is_continuation(static_cast<unsigned char>(text_[byte]))) --byte;
  }
  return byte;
}

int64_t CodePoints::forward_from(int64_t boundary, int64_t count) const {
  const int64_t size = static_cast<int64_t>(text_.size());
  int64_t byte = std::clamp<int64_t>(boundary, 0, size);
  for (; count > 0 && byte < size; --count) {
    ++byte;
    while (byte < size && is_continuation(static_cast<unsigned char>(text_[byte]))) ++byte;
  }
  return byte;
}

int64_t CodePoints::byte_of(int64_t c) const {
  const int64_t size = static_cast<int64_t>(text_.size());
  if (c <= 0) return 0;
  if (c >= total_) return size;
  // The last block that begins at or before character c.
  const auto it = std::upper_bound(before_block_.begin(), before_block_.end(), c);
  const int64_t block = static_cast<int64_t>(it - before_block_.begin()) - 1;
  int64_t n = before_block_[static_cast<size_t>(block)];
  for (int64_t i = block * kBlock; i < size; ++i) {
    if (is_continuation(static_cast<unsigned char>(text_[i]))) continue;
    if (n == c) return i;
    ++n;
  }
  return size;
}

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// An encoded surrogate: ED A0..BF xx.
bool surrogate_at(std::string_view text, size_t i) {
  return i + 2 < text.size() && static_cast<unsigned char>(text[i]) == 0xED &&
         static_cast<unsigned char>(text[i + 1]) >= 0xA0;
}

}  // namespace

bool is_strict_utf8(std::string_view text) {
  if (!is_utf8(text.data(), text.size())) return false;
  for (size_t i = text.find('\xED'); i != std::string_view::npos; i = text.find('\xED', i + 1))
    if (surrogate_at(text, i)) return false;
  return true;
}

std::string strict_utf8(std::string_view text) {
  if (is_strict_utf8(text)) return std::string(text);
  const std::string shown = utf8_for_display(text);  // U+FFFD for each stray byte
  std::string out;
  out.reserve(shown.size());
  for (size_t i = 0; i < shown.size();) {
    if (surrogate_at(shown, i)) {
      out += kReplacement;
      i += 3;
    } else {
      out += shown[i++];
    }
  }
  return out;
}

std::string iso_time(int32_t time) {
  const std::time_t t = time;
  std::tm parts{};
  gmtime_r(&t, &parts);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return buffer;
}

namespace {

bool digits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool parse_iso_time(std::string_view text, int32_t& time, bool& out_of_range) {
  out_of_range = false;
  int year, month, day, hour, minute, second;
  if (!digits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
      !digits(text, 5, 2, month) || text[7] != '-' || !digits(text, 8, 2, day) || text[10] != 'T' ||
      !digits(text, 11, 2, hour) || text[13] != ':' || !digits(text, 14, 2, minute) ||
      text[16] != ':' || !digits(text, 17, 2, second))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return false;
  size_t at = 19;
  if (at < text.size() && text[at] == '.') {
    ++at;
    const size_t first = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == first) return false;
  }
  int64_t offset = 0;  // seconds east of UTC
  if (at < text.size() && text[at] == 'Z') {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int oh, om;
    if (!digits(text, at + 1, 2, oh) || at + 3 >= text.size() || text[at + 3] != ':' ||
        !digits(text, at + 4, 2, om) || oh > 23 || om > 59)
      return false;
    offset = (text[at] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
    at += 6;
  } else {
    return false;  // a time without a zone means nothing in particular
  }
  if (at != text.size()) return false;
  const int64_t seconds =
      days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
  if (seconds < INT32_MIN || seconds > INT32_MAX) {
    out_of_range = true;
    return false;
  }
  time = static_cast<int32_t>(seconds);
  return true;
}

}  // namespace gm
