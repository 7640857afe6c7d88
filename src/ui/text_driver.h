// Drawing and measuring very long strings on X11. The toolkit hands a whole run of one style
// to the X server in one request and measures it with 16-bit glyph metrics: a run of a few
// thousand characters gets a wrong width (positions, scrolling and clicks go astray), and one
// of a few hundred thousand makes the server reject the request, which ends the program.
// This driver takes the toolkit's place on the display and cuts long strings into short
// pieces: widths are summed piece by piece, and only the pieces that reach the visible area
// are drawn, each at the place the whole string would have put it.
#pragma once

#include <FL/Fl_Device.H>

#include <array>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace gm {

class LongTextDriver : public Fl_Xlib_Graphics_Driver {
 public:
  // Strings up to this many bytes go to the toolkit unchanged. Even at 120 pixels a glyph, a
  // piece stays inside the 16-bit metrics.
  static constexpr int kPiece = 256;

  double width(const char* text, int n) override;
  void draw(const char* text, int n, int x, int y) override;
  void rectf(int x, int y, int w, int h) override;

  // The current font's advances, for a caller that sums a string's width itself (the sum is
  // what width() answers for a valid UTF-8 string): the 7-bit characters from a table that
  // lives as long as the driver, any other one (its `length` bytes) as measured once.
  using Advances = std::array<double, 0x80>;
  const Advances& ascii_advances();
  double other_advance(const char* character, int length);

 private:
  double measure(const char* text, int n);

  // Per font (the toolkit keeps its fonts for the run).
  std::unordered_map<Fl_Font_Descriptor*, Advances> advances_;
  // Advances of the other characters met so far, by font and bytes.
  struct FontAndBytesHash {
    size_t operator()(const std::pair<Fl_Font_Descriptor*, uint32_t>& k) const {
      return std::hash<const void*>()(k.first) * 31 + k.second;
    }
  };
  std::unordered_map<std::pair<Fl_Font_Descriptor*, uint32_t>, double, FontAndBytesHash> others_;

  // The toolkit finds the character under a point by measuring ever longer beginnings of one
  // string, one character more each time. The last long measurement is kept, so that each
  // such step costs one character instead of the whole beginning again.
  struct Measured {
    const char* text = nullptr;
    int length = 0;
    double width = 0;
    Fl_Font_Descriptor* font = nullptr;
    char tail[8] = {};  // the bytes just before `length`, to notice reused memory
  };
  bool extends_last(const char* text, int n);
  void remember(const char* text, int n, double width);
  Measured last_;

  friend void install_long_text_driver();
  // The toolkit's own driver, which nobody frees (the toolkit neither): kept reachable.
  Fl_Graphics_Driver* replaced_ = nullptr;
};

// The LongTextDriver when it is the one drawing now, else null (another surface is current, or
// the display has none).
LongTextDriver* current_long_text_driver();

// Makes every drawing on the display go through the one LongTextDriver. Call it once the
// display is open and before any window is drawn; later calls do nothing.
void install_long_text_driver();

}  // namespace gm
