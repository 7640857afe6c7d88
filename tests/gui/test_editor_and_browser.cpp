// The Editor keeps the document unchangeable; the tag browser lists every Tag in its style.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/menus.h"
#include "gui_support.h"
#include "ui/editor.h"
#include "ui/tag_browser.h"

namespace gm::testing {
namespace {

class EditorTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    a().text_buffer->text("read only text");
    a().window->show();
    Fl::flush();
  }
  int send(int event, int state, int key, const char* text) {
    Fl::e_state = state;
    Fl::e_keysym = key;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(std::strlen(text));
    return a().editor->handle(event);
  }
};

TEST_F(EditorTest, TypingPastingAndDroppingChangeNothing) {
  send(FL_KEYBOARD, 0, 'x', "x");
  send(FL_KEYBOARD, 0, FL_BackSpace, "");
  send(FL_KEYBOARD, 0, FL_Delete, "");
  send(FL_PASTE, 0, 0, "pasted");
  EXPECT_EQ(send(FL_DND_ENTER, 0, 0, ""), 0);
  EXPECT_EQ(send(FL_DND_RELEASE, 0, 0, ""), 0);
  send(FL_KEYBOARD, FL_CTRL, 'v', "");
  EXPECT_EQ(text(), "read only text");
}

TEST_F(EditorTest, CtrlASelectsAllAndWakesTheTagCommands) {
  EXPECT_FALSE(a().tag_popup_menu[kNewTagItem].active());
  EXPECT_EQ(send(FL_KEYBOARD, FL_CTRL, 'a', ""), 1);
  int start = 0;
  int end = 0;
  ASSERT_TRUE(a().text_buffer->selection_position(&start, &end));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, a().text_buffer->length());
  EXPECT_TRUE(a().tag_popup_menu[kNewTagItem].active());
  EXPECT_EQ(text(), "read only text");
}

TEST_F(EditorTest, PositionsComeFromTheTextArea) {
  int line = 0;
  int column = 0;
  ASSERT_EQ(a().editor->line_column_at(0, 0, &line, &column), 1);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(a().editor->position_at(0, 0), 0);
  // Far right of the one line: its end.
  EXPECT_EQ(a().editor->position_at(a().editor->x() + a().editor->w() - 30, a().editor->y() + 10),
            a().text_buffer->length());
}

class TagBrowserTest : public AppTest {
protected:
  void add(int32_t start, int32_t end, unsigned char style, int32_t time, std::string_view note) {
    auto tag = make_tag(start, end, style, time, note);
    ASSERT_EQ(a().tags.insert_tag(tag), 1);
  }
};

TEST_F(TagBrowserTest, ListsEveryTagInItsStyleAndOrder) {
  add(0, 5, 'B', 1, "first\nsecond");
  add(6, 9, 'K', 2, "only");
  add(10, 12, 'i', 3, "");
  a().browser_mode = 0;
  list_tags(a());
  EXPECT_EQ(a().browser_mode, 2);
  Fl_Hold_Browser* browser = a().tag_browser;
  ASSERT_EQ(browser->size(), 3);
  EXPECT_STREQ(browser->text(1), "@C88@F0@S14@.first...");
  EXPECT_STREQ(browser->text(2), "@C56@F1@S14@.only");
  EXPECT_STREQ(browser->text(3), "@C56@F3@S20@.<NO TAG TEXT>");
  const TagNode* node = a().tags.head();
  for (int line = 1; line <= 3; ++line, node = node->next.get()) {
    EXPECT_EQ(browser->data(line), node) << line;
  }

  a().tags.clear();
  list_tags(a());
  EXPECT_EQ(browser->size(), 0);
}

TEST_F(TagBrowserTest, VeryLongNoteLineIsCutAtACharacter) {
  std::string note;
  while (note.size() < 40000) note += "\xc3\xa9";  // two-byte characters
  add(0, 1, 'A', 1, note);
  list_tags(a());
  const std::string line = a().tag_browser->text(1);
  EXPECT_LT(line.size(), 32768u);
  EXPECT_EQ(line.size() % 2, style_codes('A').size() % 2);
  EXPECT_EQ(line.compare(0, style_codes('A').size(), style_codes('A')), 0);
}

TEST_F(TagBrowserTest, ListingStopsARunningSearch) {
  Fl::add_timeout(10.0, search_text_step);
  Fl::add_timeout(10.0, search_tags_step, this);
  list_tags(a());
  EXPECT_FALSE(Fl::has_timeout(search_text_step));
  EXPECT_FALSE(Fl::has_timeout(search_tags_step, this));
}

}  // namespace
}  // namespace gm::testing
