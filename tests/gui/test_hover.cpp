// Hover tips: one tick's decisions with the pointer and window state fed in, the tip window
// itself, and the position the tag commands read.

// clang-format off
// gtest before the toolkit: fl_draw.H brings in X11's None and Bool macros.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <chrono>
#include <string>
#include <utility>

#include "gui_support.h"
#include "ui/editor.h"
#include "ui/hover.h"

namespace gm::testing {
namespace {

// Line 1 holds short Tags side by side and nested, line 2 is untagged, and the long lines
// after it are one Tag, wide and tall enough to run under both scrollbars.
const std::string kLine1 = "alpha beta gamma delta epsilon\n";  // [0, 31)
const std::string kLine2 = "plain words\n";                     // [31, 43)
constexpr int32_t kLongStart = 43;

constexpr int kWindowX = 120;  // where the tests pretend the main window lies on the screen
constexpr int kWindowY = 70;

class HoverTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::string text = kLine1 + kLine2;
    for (int i = 0; i < 60; ++i) text += std::string(200, 'x') + "\n";
    a().view.text().text(text.c_str());
    add(0, 5, 1, "note of alpha");  // alpha
    add(5, 10, 2, "two\nlines");    // " beta", right behind alpha
    add(11, 30, 3, "outer note");   // "gamma delta epsilon"
    add(11, 16, 4, "inner note");   // gamma
    add(23, 30, 5, "");             // epsilon: no note
    add(kLongStart, static_cast<int32_t>(text.size()), 6, "long");
    paint();
    a().window.window().show();
    Fl::flush();
  }

  void add(int32_t start, int32_t end, int32_t time, const char* note) {
    auto tag = make_tag(start, end, 'C', time, note);
    ASSERT_EQ(planted().insert_tag(tag), 1);
  }

  // A window point over text position pos: the middle of its line's rows, and the middle
  // of the points on that row that map to it.
  std::pair<int, int> point_of(int pos) {
    const Editor& e = a().view.editor();
    Fl_Text_Buffer& text = a().view.text();
    const int line = text.line_start(pos);
    int y_first = -1, y_last = -1;
    for (int y = e.y(); y < e.y() + e.h(); ++y) {
      if (text.line_start(e.position_at(e.x() + 10, y)) != line) continue;
      if (y_first < 0) y_first = y;
      y_last = y;
    }
    const int y = (y_first + y_last) / 2;
    int x_first = -1, x_last = -1;
    for (int x = e.x(); x < e.x() + e.w(); ++x) {
      if (e.position_at(x, y) != pos) continue;
      if (x_first < 0) x_first = x;
      x_last = x;
    }
    EXPECT_GE(x_first, 0) << "position " << pos << " is not on screen";
    const std::pair<int, int> p{(x_first + x_last) / 2, y};
    EXPECT_EQ(e.position_at(p.first, p.second), pos);
    return p;
  }

  // The pointer at window point (x, y), reported to the main window, which is first.
  static PointerState pointer_at(int x, int y) {
    PointerState s;
    s.window_x = kWindowX;
    s.window_y = kWindowY;
    s.root_x = kWindowX + x;
    s.root_y = kWindowY + y;
    s.event_x = x;
    s.event_y = y;
    s.program_window_first = true;
    return s;
  }
  PointerState over(int pos) {
    const auto [x, y] = point_of(pos);
    return pointer_at(x, y);
  }

  Hover& hover() { return a().view.hover(); }
  Fl_Double_Window* tip() { return hover().tip(); }
  std::string tip_text() {
    if (!tip() || tip()->children() != 1) return "<no tip>";
    auto* output = dynamic_cast<Fl_Multiline_Output*>(tip()->child(0));
    return output ? output->value() : "<not an output>";
  }
  static std::pair<int, int> measured(const char* note) {
    fl_font(FL_HELVETICA, 14);
    int w = 0, h = 0;
    fl_measure(note, w, h, 0);
    return {w, h};
  }
  bool note_under(const PointerState& s) {
    const TagNode* node =
        tags().find_tag_at(a().view.editor().position_at(s.root_x - s.window_x, s.root_y - s.window_y));
    return node && node->tag->has_note();
  }
};

TEST_F(HoverTest, TipAppearsBesideThePointerSizedToTheNoteAndStaysWhileOnTheTag) {
  const PointerState first = over(2);
  EXPECT_EQ(hover().update(first), TipChange::kShown);
  ASSERT_NE(tip(), nullptr);
  EXPECT_EQ(tip_text(), "note of alpha");
  EXPECT_EQ(tip()->x(), first.root_x + 14);
  EXPECT_EQ(tip()->y(), first.root_y + 14);
  const auto [w, h] = measured("note of alpha");
  EXPECT_EQ(tip()->w(), w + 16);
  EXPECT_EQ(tip()->h(), h + 16);
  EXPECT_EQ(tip()->parent(), nullptr);
  EXPECT_TRUE(tip()->override());
  EXPECT_TRUE(tip()->shown());

  Fl_Double_Window* const shown = tip();
  EXPECT_EQ(hover().update(over(4)), TipChange::kKept);
  EXPECT_EQ(hover().update(over(4)), TipChange::kKept);
  EXPECT_EQ(tip(), shown);
  EXPECT_EQ(tip()->x(), first.root_x + 14);
  EXPECT_EQ(tip()->y(), first.root_y + 14);
}

TEST_F(HoverTest, OffsetIsTheEditorsTextSizeAndTwoLinesAreMeasuredWhole) {
  a().view.editor().textsize(20);
  const PointerState s = over(7);
  EXPECT_EQ(hover().update(s), TipChange::kShown);
  ASSERT_NE(tip(), nullptr);
  EXPECT_EQ(tip()->x(), s.root_x + 20);
  EXPECT_EQ(tip()->y(), s.root_y + 20);
  const auto [w, h] = measured("two\nlines");
  EXPECT_EQ(tip()->w(), w + 16);
  EXPECT_EQ(tip()->h(), h + 16);
  EXPECT_GT(h, measured("two").second);
}

TEST_F(HoverTest, NeighbourAndNestedTagsReplaceTheTip) {
  const PointerState alpha = over(3);
  EXPECT_EQ(hover().update(alpha), TipChange::kShown);
  const PointerState beta = over(7);
  EXPECT_EQ(hover().update(beta), TipChange::kShown);  // the adjacent Tag
  EXPECT_EQ(tip_text(), "two\nlines");
  EXPECT_EQ(tip()->x(), beta.root_x + 14);  // the one tip window, moved
  EXPECT_EQ(tip()->h(), measured("two\nlines").second + 16);

  EXPECT_EQ(hover().update(over(13)), TipChange::kShown);
  EXPECT_EQ(tip_text(), "inner note");
  EXPECT_EQ(hover().update(over(19)), TipChange::kShown);  // outer part only
  EXPECT_EQ(tip_text(), "outer note");
  // Inside a Tag without a note the enclosing note goes away, and that Tag is remembered.
  EXPECT_EQ(hover().update(over(26)), TipChange::kRemoved);
  EXPECT_EQ(tip(), nullptr);
  ASSERT_TRUE(hover().tag().has_value());
  EXPECT_EQ(*hover().tag(), (TagIdentity{23, 30, 5}));
  EXPECT_EQ(hover().update(over(19)), TipChange::kShown);
}

TEST_F(HoverTest, UntaggedTextScrollbarsAndOtherWindowsRemoveTheTip) {
  EXPECT_EQ(hover().update(over(2)), TipChange::kShown);
  EXPECT_EQ(hover().update(over(35)), TipChange::kRemoved);
  EXPECT_FALSE(hover().tag().has_value());
  EXPECT_EQ(hover().update(over(35)), TipChange::kNone);

  // Both strips hold long tagged lines underneath: only the strip rule keeps the tip away.
  const Editor& e = a().view.editor();
  const int strip = e.scrollbar_width();
  ASSERT_GT(strip, 0);
  const int long_line_y = point_of(kLongStart + 5).second;
  const PointerState last_column = pointer_at(e.x() + e.w() - strip - 1, long_line_y);
  const PointerState vertical_strip = pointer_at(e.x() + e.w() - strip, long_line_y);
  const PointerState last_row = pointer_at(e.x() + 100, e.y() + e.h() - strip - 1);
  const PointerState horizontal_strip = pointer_at(e.x() + 100, e.y() + e.h() - strip);
  for (const PointerState* s : {&last_column, &vertical_strip, &last_row, &horizontal_strip})
    ASSERT_TRUE(note_under(*s));
  EXPECT_EQ(hover().update(last_column), TipChange::kShown);
  EXPECT_EQ(hover().update(vertical_strip), TipChange::kRemoved);
  EXPECT_EQ(hover().update(last_row), TipChange::kShown);
  EXPECT_EQ(hover().update(horizontal_strip), TipChange::kRemoved);
  const PointerState left_of_editor = pointer_at(e.x() - 1, long_line_y);
  EXPECT_EQ(hover().update(last_row), TipChange::kShown);
  EXPECT_EQ(hover().update(left_of_editor), TipChange::kRemoved);

  PointerState menu_first = over(2);
  menu_first.program_window_first = false;
  EXPECT_EQ(hover().update(over(2)), TipChange::kShown);
  EXPECT_EQ(hover().update(menu_first), TipChange::kRemoved);
  EXPECT_FALSE(hover().tag().has_value());
  EXPECT_EQ(hover().update(over(2)), TipChange::kShown);
}

TEST_F(HoverTest, TheHoverTagIsAnIdentityNotANode) {
  EXPECT_EQ(hover().update(over(2)), TipChange::kShown);
  // The same identity in a fresh node (as undo and redo bring Tags back): the same Tag.
  auto twin = copy_tag(*tags().find_tag_at(2)->tag);
  ASSERT_EQ(planted().remove_tag(*twin), 1);
  add(3, 4, 7, "");  // takes memory, so the twin is unlikely to reuse the old node
  ASSERT_EQ(planted().insert_tag(twin), 1);
  EXPECT_EQ(hover().update(over(2)), TipChange::kKept);

  // A new time is a new Tag, as an edited note gets one.
  ASSERT_EQ(planted().remove_tag(*make_tag(0, 5, 'C', 1, "")), 1);
  add(0, 5, 8, "edited note");
  EXPECT_EQ(hover().update(over(2)), TipChange::kShown);
  EXPECT_EQ(tip_text(), "edited note");

  // Gone between two ticks: simply not found any more.
  ASSERT_EQ(planted().remove_tag(*make_tag(0, 5, 'C', 8, "")), 1);
  EXPECT_EQ(hover().update(over(2)), TipChange::kRemoved);
}

TEST_F(HoverTest, PointerPositionComesOnlyFromTheMainWindowsEvents) {
  hover().update(over(13));
  EXPECT_EQ(hover().pointer_position(), 13);
  // An open popup menu reports in its own window's coordinates: the click's place stays.
  PointerState in_menu = over(36);
  in_menu.event_x = 5;
  in_menu.event_y = 7;
  in_menu.program_window_first = false;
  hover().update(in_menu);
  EXPECT_EQ(hover().pointer_position(), 13);
  // Outside the text area the position is still taken.
  const Editor& e = a().view.editor();
  hover().update(pointer_at(e.x() + e.w() - 2, e.y() + 2));
  EXPECT_EQ(hover().pointer_position(), e.position_at(e.x() + e.w() - 2, e.y() + 2));
}

TEST_F(HoverTest, TipIsATopLevelWindowEvenWhileADialogIsBeingBuilt) {
  Fl_Window dialog(200, 100);  // begun, as a dialog under construction is
  Fl_Double_Window* made = hover().show_tip(300, 200, "a note");
  EXPECT_EQ(Fl_Group::current(), &dialog);
  dialog.end();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->parent(), nullptr);
  EXPECT_EQ(dialog.children(), 0);
  EXPECT_EQ(made, tip());
  EXPECT_EQ(hover().show_tip(0, 0, nullptr), nullptr);
  EXPECT_EQ(tip(), nullptr);
  EXPECT_FALSE(made->visible());
  EXPECT_EQ(hover().show_tip(10, 20, "another"), made) << "made once, then reused";
}

TEST_F(HoverTest, TheTickComesByItselfAndTracksThePointer) {
  a().start_timers();
  // The last event, reported to the (not shown) main window at its top-left corner.
  Fl::e_x = Fl::e_x_root = 5;
  Fl::e_y = Fl::e_y_root = 5;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (hover().pointer_position() < 0 && std::chrono::steady_clock::now() < deadline)
    Fl::wait(0.02);
  EXPECT_GE(hover().pointer_position(), 0);
}

}  // namespace
}  // namespace gm::testing

namespace gm {
namespace {

// The toolkit's own tooltip (borderless, no grab) must not count as a window in front of
// the text, or the Editor's general tooltip would replace every note after a second; a
// popup menu (which grabs) and a dialog still do.
TEST(HoverWindows, OnlyMenusAndDialogsInFrontHideTheNote) {
  Program app;
  Hover& hover = app.view.hover();
  app.window.window().show();
  Fl::flush();
  EXPECT_TRUE(hover.sample().program_window_first);

  Fl_Window tooltip_like(10, 10, 50, 20);
  tooltip_like.end();
  tooltip_like.set_override();
  tooltip_like.show();
  ASSERT_EQ(Fl::first_window(), &tooltip_like);
  EXPECT_TRUE(hover.sample().program_window_first);

  Fl::grab(&tooltip_like);  // what an open menu does
  EXPECT_FALSE(hover.sample().program_window_first);
  Fl::grab(nullptr);
  tooltip_like.hide();

  Fl_Window dialog(10, 10, 50, 20);
  dialog.end();
  dialog.set_non_modal();
  dialog.show();
  ASSERT_EQ(Fl::first_window(), &dialog);
  EXPECT_FALSE(hover.sample().program_window_first);
  dialog.hide();
}

}  // namespace
}  // namespace gm
