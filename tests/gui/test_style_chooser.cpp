// The style chooser's lines, the default style dialog and its byte exchange, and the rule of
// one dialog at a time.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "gui_support.h"
#include "tags/styles.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

TEST(StyleChooser, HasOneLinePerStyleDrawnInThatStyle) {
  Fl_Double_Window window(200, 200);
  Fl_Hold_Browser* chooser = build_style_chooser(0, 0, 200, 200);
  window.end();
  ASSERT_EQ(chooser->size(), 58);
  EXPECT_EQ(chooser->value(), 0);
  EXPECT_EQ(chooser->tooltip(), nullptr);
  EXPECT_EQ(chooser->format_char(), '@');
  EXPECT_EQ(chooser->when(), FL_WHEN_RELEASE_ALWAYS);

  EXPECT_EQ(chooser->text(1), "@C56@F0@S14@." + std::string(Fl::get_font_name(0)) + " 14");
  for (int line = 1; line <= 58; ++line) {
    SCOPED_TRACE(line);
    const auto style = static_cast<unsigned char>(64 + line);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(chooser->data(line)), style);
    const std::string text = chooser->text(line);
    EXPECT_LE(text.size(), 98u);
    unsigned color = 0;
    int font = -1;
    int size = 0;
    int consumed = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "@C%u@F%d@S%d@.%n", &color, &font, &size, &consumed), 3);
    const StyleEntry& entry = kStyleTable[line - 1];
    EXPECT_EQ(color, entry.color);
    EXPECT_EQ(font, entry.font);
    EXPECT_EQ(size, entry.size);
    EXPECT_EQ(text.substr(consumed),
              std::string(Fl::get_font_name(entry.font)) + " " + std::to_string(entry.size));
  }
  EXPECT_EQ(line_style(1), 'A');
  EXPECT_EQ(line_style(27), '[');
  EXPECT_EQ(line_style(58), 'z');
  EXPECT_EQ(style_line('z'), 58);
}

class DefaultStyle : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    // Untagged 'A' around a Tag in 'A' and a Tag in 'B'.
    load(dir_.document("doc.txt", "0123456789", {{2, 4, 'A', 10, ""}, {6, 8, 'B', 11, ""}}));
    set_unsaved(false);
  }
  void choose_default_style(int32_t at = 1) { pick_tag_item("Default style", at); }
  Fl_Hold_Browser& chooser() {
    return dynamic_cast<DefaultStyleDialog&>(*a().dialogs.open_dialog()).chooser();
  }
  void click(int line, int clicks) {
    chooser().select(line, 1);
    Fl::event_clicks(clicks);
    chooser().do_callback();
    Fl::event_clicks(0);
  }
};

TEST_F(DefaultStyle, DialogShowsTheCurrentDefaultStyle) {
  planted().default_style = 'E';
  choose_default_style(3);
  EXPECT_EQ(a().view.popup_position(), 3);
  Fl_Double_Window* dialog = a().dialogs.open_dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(dialog->label(), "Default style");
  EXPECT_EQ(dialog->x(), 300);
  EXPECT_EQ(dialog->y(), 200);
  EXPECT_EQ(dialog->w(), 200);
  EXPECT_EQ(dialog->h(), 200);
  EXPECT_TRUE(dialog->shown());
  EXPECT_TRUE(dialog->non_modal());
  EXPECT_EQ(dialog->resizable(), dialog);
  ASSERT_EQ(dialog->children(), 1);
  EXPECT_EQ(chooser().x(), 0);
  EXPECT_EQ(chooser().w(), 200);
  EXPECT_EQ(chooser().h(), 200);
  EXPECT_EQ(chooser().size(), 58);
  EXPECT_STREQ(chooser().tooltip(),
               "Click to select. \nDouble click to apply.\nPress ESC to cancel.");
  EXPECT_EQ(chooser().value(), 5);
  Fl::flush();
  EXPECT_TRUE(chooser().displayed(5));
}

TEST_F(DefaultStyle, DoubleClickExchangesTheDefaultStyleBytes) {
  ASSERT_EQ(styles(), "AAAAAABBAA");
  choose_default_style();
  click(3, 0);  // a single click changes nothing
  EXPECT_EQ(styles(), "AAAAAABBAA");
  ASSERT_NE(a().dialogs.open_dialog(), nullptr);
  const int next_new_tag_line = a().dialogs.last_style_line();

  click(3, 1);
  // The Tag in the old default style changes with the untagged text; 'B' stays.
  EXPECT_EQ(styles(), "CCCCCCBBCC");
  EXPECT_EQ(tags().default_style, 'C');
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_EQ(a().dialogs.last_style_line(), next_new_tag_line);
  EXPECT_EQ(tags().head()->tag->style, 'A');

  // Going back exchanges every 'C' byte, the Tag's included.
  choose_default_style();
  click(1, 1);
  EXPECT_EQ(styles(), "AAAAAABBAA");
}

TEST_F(DefaultStyle, WithASelectionTheDialogStaysAndNothingChanges) {
  choose_default_style();
  a().view.text().select(0, 3);
  CaptureStderr();
  click(4, 1);
  EXPECT_EQ(GetCapturedStderr(), "deselect before change default style.\n");
  EXPECT_EQ(styles(), "AAAAAABBAA");
  EXPECT_EQ(tags().default_style, 'A');
  EXPECT_FALSE(unsaved());
  ASSERT_NE(a().dialogs.open_dialog(), nullptr);

  a().view.text().unselect();
  click(4, 1);
  EXPECT_EQ(styles(), "DDDDDDBBDD");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
}

TEST_F(DefaultStyle, EscapeClosesAndPrintsOk) {
  choose_default_style();
  Fl_Double_Window* dialog = a().dialogs.open_dialog();
  Fl::flush();
  Fl::focus(&chooser());
  Fl::e_keysym = FL_Escape;
  Fl::e_state = 0;
  Fl::e_text = const_cast<char*>("\033");
  Fl::e_length = 1;
  CaptureStdout();
  Fl::handle(FL_KEYBOARD, dialog);
  EXPECT_EQ(GetCapturedStdout(), "ok\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_FALSE(dialog->visible());
  EXPECT_EQ(styles(), "AAAAAABBAA");
  EXPECT_EQ(tags().default_style, 'A');
  Fl::wait(0);  // the toolkit deletes the window now
}

TEST_F(DefaultStyle, OnlyOneDialogAtATime) {
  choose_default_style(1);
  Fl_Double_Window* first = a().dialogs.open_dialog();
  a().view.text().select(0, 2);
  int32_t at = 6;
  for (const char* item : {"New tag", "Edit tag", "Remove tag", "Tag properties", "Default style"}) {
    pick_tag_item(item, ++at);
    EXPECT_EQ(a().dialogs.open_dialog(), first) << item;
    EXPECT_EQ(a().view.popup_position(), at) << item;
  }
  EXPECT_EQ(tags().size(), 2u);  // Remove tag removed nothing
  EXPECT_EQ(a().document.tags.history().count(), 0);

  CaptureStdout();
  first->do_callback();
  EXPECT_EQ(GetCapturedStdout(), "ok\n");
  choose_default_style();
  EXPECT_NE(a().dialogs.open_dialog(), nullptr);
}

}  // namespace
}  // namespace gm::testing
