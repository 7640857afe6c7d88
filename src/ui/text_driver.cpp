#include "ui/text_driver.h"

#include <FL/fl_utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "document/encoding.h"

namespace gm {

namespace {

// Glyphs may reach a little beyond their advance (italics); pieces that close to the visible
// area are drawn too.
constexpr int kOverhang = 64;
// X11 coordinates are 16-bit.
constexpr int64_t kMinCoordinate = -32768;
constexpr int64_t kMaxCoordinate = 32767;

// The end of the piece that starts at `from`: at most kPiece bytes, never inside a character
// (the toolkit decodes a lead byte with its continuation bytes as one character).
int piece_end(const char* text, int from, int n) {
  const int end = from + LongTextDriver::kPiece;
  if (end >= n) return n;
  const auto cut = static_cast<int>(char_start(text, static_cast<size_t>(end), from + 1));
  return is_continuation_byte(static_cast<unsigned char>(text[cut])) ? end : cut;
}

}  // namespace

double LongTextDriver::width(const char* text, int n) {
  double w;
  if (extends_last(text, n)) {
    w = last_.width + measure(text + last_.length, n - last_.length);
  } else if (n <= kPiece) {
    w = Fl_Xlib_Graphics_Driver::width(text, n);
  } else {
    w = measure(text, n);
  }
  remember(text, n, w);
  return w;
}

double LongTextDriver::measure(const char* text, int n) {
  const Advances& ascii = ascii_advances();
  double sum = 0;
  for (int from = 0, end = 0; from < n; from = end) {
    end = piece_end(text, from, n);
    // Glyphs are placed by whole-pixel advances without kerning, so a piece is the sum of
    // its characters' advances: 7-bit ones from the table, others as measured once per font.
    double piece = 0;
    for (int i = from; i < end;) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c < 0x80) {
        piece += ascii[c];
        ++i;
        continue;
      }
      int length = 0;
      fl_utf8decode(text + i, text + end, &length);
      length = std::max(1, std::min(length, end - i));
      piece += other_advance(text + i, length);
      i += length;
    }
    sum += piece;
  }
  return sum;
}

double LongTextDriver::other_advance(const char* character, int length) {
  uint32_t key = 0;
  std::memcpy(&key, character, static_cast<size_t>(std::min(length, 4)));
  const auto found = others_.find({font_descriptor(), key});
  if (found != others_.end()) return found->second;
  const double advance = Fl_Xlib_Graphics_Driver::width(character, length);
  others_.emplace(std::make_pair(font_descriptor(), key), advance);
  return advance;
}

const LongTextDriver::Advances& LongTextDriver::ascii_advances() {
  Fl_Font_Descriptor* const font = font_descriptor();
  auto found = advances_.find(font);
  if (found != advances_.end()) return found->second;
  Advances& table = advances_[font];
  for (int c = 0; c < 0x80; ++c) {
    const char ch = static_cast<char>(c);
    table[c] = Fl_Xlib_Graphics_Driver::width(&ch, 1);
  }
  return table;
}

bool LongTextDriver::extends_last(const char* text, int n) {
  // Only long beginnings, and only by one character: then the same memory holding other
  // text of the same font and exactly that length, with the same last bytes, is no concern.
  if (text != last_.text || font_descriptor() != last_.font || last_.length < kPiece) return false;
  if (n <= last_.length || n - last_.length > 4) return false;
  return std::memcmp(text + last_.length - sizeof last_.tail, last_.tail, sizeof last_.tail) == 0;
}

void LongTextDriver::remember(const char* text, int n, double width) {
  if (n < kPiece) {
    last_.text = nullptr;
    return;
  }
  last_.text = text;
  last_.length = n;
  last_.width = width;
  last_.font = font_descriptor();
  std::memcpy(last_.tail, text + n - sizeof last_.tail, sizeof last_.tail);
}

void LongTextDriver::draw(const char* text, int n, int x, int y) {
  if (n <= kPiece) {
    Fl_Xlib_Graphics_Driver::draw(text, n, x, y);
    return;
  }
  int cx = 0, cy = 0, cw = 0, ch = 0;
  clip_box(0, 0, static_cast<int>(kMaxCoordinate), static_cast<int>(kMaxCoordinate), cx, cy, cw,
           ch);
  if (cw <= 0 || ch <= 0) return;
  const double left = cx - kOverhang;
  const double right = cx + cw + kOverhang;
  double px = x;
  for (int from = 0, end = 0; from < n && px <= right; from = end) {
    end = piece_end(text, from, n);
    const double pw = Fl_Xlib_Graphics_Driver::width(text + from, end - from);
    if (px + pw >= left) Fl_Xlib_Graphics_Driver::draw(text + from, end - from, int(px), y);
    px += pw;
  }
}

// The background of a long run starts far outside the window; cut to what X can take, so
// that it is not wrapped around into the visible area.
void LongTextDriver::rectf(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  const int64_t x0 = std::max<int64_t>(x, kMinCoordinate);
  const int64_t y0 = std::max<int64_t>(y, kMinCoordinate);
  const int64_t x1 = std::min<int64_t>(int64_t{x} + w, kMaxCoordinate);
  const int64_t y1 = std::min<int64_t>(int64_t{y} + h, kMaxCoordinate);
  if (x1 <= x0 || y1 <= y0) return;
  Fl_Xlib_Graphics_Driver::rectf(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

namespace {
// Lives as long as the process, like the toolkit's own driver: the display keeps using it.
LongTextDriver* the_driver() {
  static LongTextDriver driver;
  return &driver;
}
}  // namespace

LongTextDriver* current_long_text_driver() {
  LongTextDriver* driver = the_driver();
  return fl_graphics_driver == driver ? driver : nullptr;
}

void install_long_text_driver() {
  LongTextDriver& driver = *the_driver();
  Fl_Display_Device* display = Fl_Display_Device::display_device();
  if (display->driver() == &driver) return;
  driver.replaced_ = display->driver();
  // The display device itself gets the driver, so that whatever makes the display current
  // again later still draws through it.
  display->driver(&driver);
  display->set_current();
}

}  // namespace gm
