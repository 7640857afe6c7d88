// Very long lines. The toolkit measures text with 16-bit glyph metrics and sends a run of one
// style to the X server in one request: without the LongTextDriver a line of a few thousand
// characters gets a wrong width (the view cannot scroll to its end, clicks land elsewhere),
// and a run of a few hundred thousand makes the server reject the request and the program
// abort. Here the real window shows lines of 300 KB, 2 MB and 20 MB, untagged and tagged in
// one style, scrolls to their ends and back, and is read back pixel by pixel.

// clang-format off
// gtest before the toolkit: fl_draw.H brings in X11's None and Bool macros.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bad_input_support.h"
#include "gui_support.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/view.h"
#include "ui/text_driver.h"

namespace gm::testing {
namespace {

LongTextDriver& driver() {
  auto* d = dynamic_cast<LongTextDriver*>(Fl_Display_Device::display_device()->driver());
  EXPECT_NE(d, nullptr) << "the display does not draw through the LongTextDriver";
  return *d;
}

// What the toolkit's own driver answers, bypassing the pieces.
double toolkit_width(LongTextDriver& d, const std::string& s) {
  return d.Fl_Xlib_Graphics_Driver::width(s.data(), static_cast<int>(s.size()));
}

// An RGB copy of a part of a window, as shown.
struct Pixels {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  bool red(int x, int y) const { return at(x, y, 0) > 180 && at(x, y, 1) < 80 && at(x, y, 2) < 80; }
  bool dark(int x, int y) const { return at(x, y, 0) < 80 && at(x, y, 1) < 80 && at(x, y, 2) < 80; }
  int count(int x0, int y0, int x1, int y1, bool (Pixels::*test)(int, int) const) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += (this->*test)(x, y);
    return n;
  }

 private:
  int at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * w + x) * 3 + c]; }
};

Pixels read_window(Fl_Window& window, int x, int y, int w, int h) {
  window.make_current();
  Pixels p;
  p.w = w;
  p.h = h;
  p.rgb.resize(static_cast<size_t>(w) * h * 3);
  fl_read_image(p.rgb.data(), x, y, w, h);
  return p;
}

// --- The driver on its own ----------------------------------------------------------------

class TextDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<Fl_Double_Window>(200, 100);
    window_->end();
    window_->show();
    Fl::flush();
    window_->make_current();
    fl_font(FL_HELVETICA, 14);
  }
  std::unique_ptr<Fl_Double_Window> window_;
};

TEST_F(TextDriverTest, LongStringsMeasureAsTheSumOfTheirCharacters) {
  LongTextDriver& d = driver();
  const double a = fl_width("a", 1);
  for (const int n : {300, 3000, 100000, 2000000}) {
    const std::string s(static_cast<size_t>(n), 'a');
    EXPECT_EQ(fl_width(s.data(), n), n * a) << n << " characters";
  }
  // The toolkit alone goes wrong once the width passes 16 bits.
  const std::string long_run(100000, 'a');
  EXPECT_NE(toolkit_width(d, long_run), 100000 * a);
  // Below that both agree, also on characters of several bytes cut between pieces.
  std::string mixed;
  while (mixed.size() < 1500) mixed += "x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 ";
  EXPECT_EQ(fl_width(mixed.data(), static_cast<int>(mixed.size())), toolkit_width(d, mixed));
}

TEST_F(TextDriverTest, StepwiseMeasuringAgreesWithWholeMeasuring) {
  // The toolkit's hunt for the character under a point: ever longer beginnings of one string.
  std::string s;
  for (int i = 0; s.size() < 5000; ++i) s += (i % 7 == 0) ? "\xC3\xA9" : "mi";
  const int n = static_cast<int>(s.size());
  std::vector<double> stepwise;
  for (int i = 1; i <= n; i += fl_utf8len1(s[i])) stepwise.push_back(fl_width(s.data(), i));
  int k = 0;
  for (int i = 1; i <= n; i += fl_utf8len1(s[i]), ++k) {
    const std::string copy = s.substr(0, static_cast<size_t>(i));
    ASSERT_EQ(stepwise[k], fl_width(copy.data(), i)) << "beginning of " << i << " bytes";
  }
  // The same memory with other text in its last bytes is measured anew.
  std::string reused(400, 'i');
  fl_width(reused.data(), 300);
  reused.replace(290, 10, 10, 'W');
  EXPECT_EQ(fl_width(reused.data(), 301), 291 * fl_width("i", 1) + 10 * fl_width("W", 1));
}

TEST_F(TextDriverTest, PiecesDrawExactlyLikeTheWholeString) {
  LongTextDriver& d = driver();
  std::string s;
  while (s.size() < 2000) s += "Wide glyphs \xC3\xA9t\xC3\xA9 \xE2\x82\xAC 123 ";
  const int n = static_cast<int>(s.size());
  const int w = 1200;
  const int h = 30;
  const auto render = [&](bool pieces) {
    Fl_Offscreen off = fl_create_offscreen(w, h);
    fl_begin_offscreen(off);
    fl_color(FL_WHITE);
    fl_rectf(0, 0, w, h);
    fl_color(FL_BLACK);
    fl_font(FL_HELVETICA_BOLD_ITALIC, 20);
    // Start far left so the visible part lies deep inside the string.
    const int x = 50 - static_cast<int>(toolkit_width(d, s.substr(0, 600)));
    if (pieces) {
      d.draw(s.data(), n, x, 22);
    } else {
      d.Fl_Xlib_Graphics_Driver::draw(s.data(), n, x, 22);
    }
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    fl_read_image(rgb.data(), 0, 0, w, h);
    fl_end_offscreen();
    fl_delete_offscreen(off);
    return rgb;
  };
  const std::vector<unsigned char> whole = render(false);
  const std::vector<unsigned char> pieced = render(true);
  size_t inked = 0;
  for (unsigned char c : whole) inked += c < 128;
  EXPECT_GT(inked, 1000u);
  EXPECT_TRUE(whole == pieced);
}

// --- The real window ----------------------------------------------------------------------

const std::string kFirst = "short first line\n";
constexpr size_t kTwoMb = 2000000;
constexpr size_t kTwentyMb = 20000000;
constexpr int kPlainTail = 8;  // bytes at the end of a tagged long line left out of its Tag

class LongLines : public AppTest {
 protected:
  // Lines: 1 short, 2 of `second` bytes of 'a', 3 of `third` bytes of 'b', 4 short. With
  // tags, line 2 is tagged red but for its last kPlainTail bytes.
  void open(size_t second, size_t third, bool tagged) {
    line2_ = static_cast<int32_t>(kFirst.size());
    line3_ = line2_ + static_cast<int32_t>(second) + 1;
    end3_ = line3_ + static_cast<int32_t>(third);
    const std::string text =
        kFirst + std::string(second, 'a') + "\n" + std::string(third, 'b') + "\nlast line\n";
    std::vector<TagData> tags;
    if (tagged) {
      tags.push_back({line2_, line3_ - 1 - kPlainTail, 'B', 1, "the long one"});
    }
    load(dir_.document("long.txt", text, tags));
    a().window.window().show();
    paint();
  }

  void paint() {
    a().window.window().redraw();
    Fl::flush();
    XSync(fl_display, False);
    Fl::check();
  }

  Fl_Scrollbar& horizontal_bar() {
    Editor& e = a().view.editor();
    Fl_Scrollbar* found = nullptr;
    for (int i = 0; i < e.children(); ++i) {
      auto* bar = dynamic_cast<Fl_Scrollbar*>(e.child(i));
      if (bar && bar->type() == FL_HORIZONTAL) found = bar;
    }
    EXPECT_NE(found, nullptr);
    return *found;
  }

  // Scrolls as a drag of the scrollbar's slider does, and paints.
  void scroll_to(double offset) {
    Fl_Scrollbar& bar = horizontal_bar();
    bar.value(offset);
    bar.do_callback();
    paint();
  }

  // Text rows: every line is as tall as the tallest style.
  int row_height() {
    int tallest = 0;
    for (int i = 0; i < kStyleCount; ++i) {
      fl_font(editor_style_table()[i].font, editor_style_table()[i].size);
      tallest = std::max(tallest, fl_height());
    }
    return tallest;
  }
  int row_top(int n) { return a().view.editor().y() + 3 + row_height() * (n - 1); }
  int row_middle(int n) { return row_top(n) + row_height() / 2; }
  // Just inside the text area's right edge (the document is too short for a vertical bar).
  int text_right() { return a().view.editor().x() + a().view.editor().w() - 6; }
  int text_left() { return a().view.editor().x() + 6; }

  // Counts pixels in row n between window x0 and x1.
  int count(const Pixels& p, int n, int x0, int x1, bool (Pixels::*test)(int, int) const) {
    const int top = row_top(n) - row_top(1);
    return p.count(x0 - a().view.editor().x(), top, x1 - a().view.editor().x(), top + row_height(), test);
  }
  Pixels shown() {
    Editor& e = a().view.editor();
    return read_window(a().window.window(), e.x(), row_top(1), e.w(), row_height() * 4);
  }

  int32_t line2_ = 0, line3_ = 0, end3_ = 0;
  ToolkitWarnings warnings_;  // a request the X server refuses is reported there
};

double glyph_width(char c, Fl_Font font, Fl_Fontsize size) {
  fl_font(font, size);
  return fl_width(&c, 1);
}

// Line 2 (2 MB) is tagged red but for its last bytes, line 3 (20 MB) is untagged; the
// end-to-end test has them the other way round.
TEST_F(LongLines, ScrollToTheEndsOfTheLinesAndBack) {
  open(kTwoMb, kTwentyMb, true);
  const double third_width = kTwentyMb * glyph_width('b', FL_HELVETICA, 14);
  Fl_Scrollbar& bar = horizontal_bar();
  // The bar reaches the end of the 20 MB line, and no further.
  EXPECT_GT(bar.maximum(), third_width - a().view.editor().w());
  EXPECT_LT(bar.maximum(), third_width);

  scroll_to(bar.maximum());
  EXPECT_NEAR(a().view.editor().position_at(text_right(), row_middle(3)), end3_, 2);
  Pixels p = shown();
  EXPECT_GT(count(p, 3, text_right() - 200, text_right(), &Pixels::dark), 100);
  EXPECT_EQ(count(p, 2, text_left(), text_right(), &Pixels::red), 0);  // line 2 ended long ago

  // The end of the 2 MB line at the right edge: red up to its last 8 bytes, which are black.
  const double second_width = kTwoMb * glyph_width('a', FL_HELVETICA, 14);
  scroll_to(second_width - (text_right() - text_left()));
  EXPECT_NEAR(a().view.editor().position_at(text_right(), row_middle(2)), line3_ - 1, 2);
  p = shown();
  const int tail = static_cast<int>(kPlainTail * glyph_width('a', FL_HELVETICA, 14));
  EXPECT_GT(count(p, 2, text_right() - tail - 200, text_right() - tail - 10, &Pixels::red), 100);
  EXPECT_EQ(count(p, 2, text_right() - tail + 10, text_right(), &Pixels::red), 0);
  EXPECT_GT(count(p, 2, text_right() - tail + 10, text_right(), &Pixels::dark), 20);

  scroll_to(0);
  EXPECT_EQ(a().view.editor().position_at(text_left(), row_middle(2)), line2_);
  p = shown();
  EXPECT_GT(count(p, 2, text_left(), text_left() + 200, &Pixels::red), 100);
  EXPECT_GT(count(p, 3, text_left(), text_left() + 200, &Pixels::dark), 100);
  EXPECT_TRUE(warnings_.sync().empty()) << warnings_.first();
}

// The lengths at which the toolkit alone made the server reject its request.
TEST_F(LongLines, RunsOfAFewHundredKilobytesArePainted) {
  open(300000, 600000, true);
  Pixels p = shown();
  EXPECT_GT(count(p, 2, text_left(), text_right(), &Pixels::red), 100);
  EXPECT_GT(count(p, 3, text_left(), text_right(), &Pixels::dark), 100);
  scroll_to(horizontal_bar().maximum() * 0.75);
  p = shown();
  EXPECT_EQ(count(p, 2, text_left(), text_right(), &Pixels::red), 0);
  EXPECT_GT(count(p, 3, text_left(), text_right(), &Pixels::dark), 100);
  EXPECT_TRUE(warnings_.sync().empty()) << warnings_.first();
}

}  // namespace
}  // namespace gm::testing
