// The Editor keeps the document unchangeable; the tag browser lists every Tag in its style.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gui_support.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

class EditorTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    a().view.text().text("read only text");
    a().window.window().show();
    Fl::flush();
  }
  int send(int event, int state, int key, const char* text) {
    Fl::e_state = state;
    Fl::e_keysym = key;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(std::strlen(text));
    return a().view.editor().handle(event);
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
  EXPECT_FALSE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_EQ(send(FL_KEYBOARD, FL_CTRL, 'a', ""), 1);
  int start = 0;
  int end = 0;
  ASSERT_TRUE(a().view.text().selection_position(&start, &end));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, a().view.text().length());
  EXPECT_TRUE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_EQ(text(), "read only text");
}

TEST_F(EditorTest, PositionsComeFromTheTextArea) {
  int line = 0;
  int column = 0;
  ASSERT_EQ(a().view.editor().line_column_at(0, 0, &line, &column), 1);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(a().view.editor().position_at(0, 0), 0);
  // Far right of the one line: its end.
  EXPECT_EQ(a().view.editor().position_at(a().view.editor().x() + a().view.editor().w() - 30, a().view.editor().y() + 10),
            a().view.text().length());
}

class TagBrowserTest : public AppTest {
protected:
  void add(int32_t start, int32_t end, unsigned char style, int32_t time, std::string_view note) {
    auto tag = make_tag(start, end, style, time, note);
    ASSERT_EQ(planted().insert_tag(tag), 1);
  }
};

TEST_F(TagBrowserTest, ListsEveryTagInItsStyleAndOrder) {
  add(0, 5, 'B', 1, "first\nsecond");
  add(6, 9, 'K', 2, "only");
  add(10, 12, 'i', 3, "");
  a().sidebar.search().mode = BrowserMode::kTextHits;
  a().sidebar.list_tags();
  EXPECT_EQ(a().sidebar.search().mode, BrowserMode::kAllTags);
  Fl_Hold_Browser* browser = &a().sidebar.browser();
  ASSERT_EQ(browser->size(), 3);
  EXPECT_STREQ(browser->text(1), "@C88@F0@S14@.first...");
  EXPECT_STREQ(browser->text(2), "@C56@F1@S14@.only");
  EXPECT_STREQ(browser->text(3), "@C56@F3@S20@.<NO TAG TEXT>");
  const TagNode* node = tags().head();
  for (int line = 1; line <= 3; ++line, node = node->next.get()) {
    EXPECT_EQ(browser->data(line), node) << line;
  }

  planted().clear();
  a().sidebar.list_tags();
  EXPECT_EQ(browser->size(), 0);
}

TEST_F(TagBrowserTest, VeryLongNoteLineIsCutAtACharacter) {
  std::string note;
  while (note.size() < 40000) note += "\xc3\xa9";  // two-byte characters
  add(0, 1, 'A', 1, note);
  a().sidebar.list_tags();
  const std::string line = a().sidebar.browser().text(1);
  EXPECT_LT(line.size(), 32768u);
  EXPECT_EQ(line.size() % 2, style_codes('A').size() % 2);
  EXPECT_EQ(line.compare(0, style_codes('A').size(), style_codes('A')), 0);
}

TEST_F(TagBrowserTest, ListingStopsARunningSearch) {
  load(dir_.document("doc.txt", "find me\n"));
  a().sidebar.search_input().value("me");
  a().sidebar.restart_search();
  ASSERT_TRUE(a().sidebar.searching());
  a().sidebar.list_tags();
  EXPECT_FALSE(a().sidebar.searching());
}

}  // namespace
}  // namespace gm::testing
