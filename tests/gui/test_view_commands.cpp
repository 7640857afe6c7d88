// The sidebar toggle, Copy, Paste, Cut and Open URI with the focus in each place, and the
// title and unsaved-tags rules that the buffers' modify callbacks keep.
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Tile.H>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "app/menus.h"
#include "gui_support.h"
#include "ui/editor.h"
#include "ui/restyle.h"

namespace gm::testing {
namespace {

// Reads a clipboard back: the program owns it after each copy, so the toolkit hands the
// text over at once.
class PasteProbe : public Fl_Widget {
 public:
  PasteProbe() : Fl_Widget(0, 0, 1, 1) {}
  int handle(int event) override {
    if (event != FL_PASTE) return 0;
    text.assign(Fl::event_text(), static_cast<size_t>(Fl::event_length()));
    return 1;
  }
  void draw() override {}
  std::string text = "<nothing pasted>";
};

std::string clipboard(int which) {
  PasteProbe probe;
  Fl::paste(probe, which);
  return probe.text;
}

void put_on_both_clipboards(const std::string& text) {
  Fl::copy(text.c_str(), static_cast<int>(text.size()), 0);
  Fl::copy(text.c_str(), static_cast<int>(text.size()), 1);
}

void count_call(Fl_Widget*, void* count) { ++*static_cast<int*>(count); }

struct Box {
  int x, y, w, h;
  bool operator==(const Box& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
Box box_of(const Fl_Widget* w) { return {w->x(), w->y(), w->w(), w->h()}; }
void PrintTo(const Box& b, std::ostream* os) {
  *os << b.x << "," << b.y << " " << b.w << "x" << b.h;
}

class ViewCommands : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    a().text_buffer->text("a document with https://example.org/x in it");
    a().window->show();
    Fl::flush();
  }
  void TearDown() override {
    Fl::focus(nullptr);
    AppTest::TearDown();
  }
  // Runs a main menu item as a pick would (the toolkit flips a toggle's check mark first).
  void pick_main(int index) { a().menu_bar->picked(&a().menu_bar->menu()[index]); }
  bool main_active(int index) { return a().menu_bar->menu()[index].active() != 0; }
  void run_search_menu(int index) { a().search_menu[index].do_callback(a().search_menu_button); }
  void run_popup(int index) { a().tag_popup_menu[index].do_callback(a().tag_popup_button); }
  void select_document(int start, int end) { a().text_buffer->select(start, end); }
  void search_text(const char* text, int from, int to) {
    a().search_input->value(text);
    a().search_input->position(to, from);
  }
  void refresh() {
    refresh_commands(app_.get());
    Fl::remove_timeout(refresh_commands);
  }
};

TEST_F(ViewCommands, SidebarComesBackWithTheLayoutTheUserDragged) {
  a().tile->position(260, 30, 300, 30);  // the user drags the sidebar border to x 300
  ASSERT_EQ(box_of(a().editor), (Box{300, 30, 500, 570}));
  const Box browser = box_of(a().tag_browser);
  const Box choice = box_of(a().search_type_choice);
  const Box input = box_of(a().search_input);

  pick_main(kSidebarItem);
  EXPECT_EQ(a().sidebar_shown, 0);
  EXPECT_EQ(box_of(a().editor), (Box{0, 30, 800, 570}));
  EXPECT_FALSE(a().search_input->visible());
  EXPECT_FALSE(a().search_type_choice->visible());
  EXPECT_FALSE(static_cast<Fl_Widget*>(a().tag_browser)->visible());
  EXPECT_TRUE(a().search_menu_button->visible());  // covered by the Editor instead
  EXPECT_FALSE(a().menu_bar->menu()[kSidebarItem].value());

  pick_main(kSidebarItem);
  EXPECT_EQ(a().sidebar_shown, 1);
  EXPECT_EQ(box_of(a().editor), (Box{300, 30, 500, 570}));
  EXPECT_TRUE(a().search_input->visible());
  EXPECT_TRUE(a().search_type_choice->visible());
  EXPECT_TRUE(static_cast<Fl_Widget*>(a().tag_browser)->visible());
  EXPECT_EQ(box_of(a().tag_browser), browser);
  EXPECT_EQ(box_of(a().search_type_choice), choice);
  EXPECT_EQ(box_of(a().search_input), input);
  EXPECT_TRUE(a().menu_bar->menu()[kSidebarItem].value());
}

TEST_F(ViewCommands, CopyTakesTheSearchInputOnlyWhenItsMenuOrTheFocusSaysSo) {
  // Document selected, search input empty and unfocused.
  Fl::focus(a().editor);
  select_document(2, 10);
  refresh();
  EXPECT_TRUE(main_active(kCopyItem));
  EXPECT_FALSE(main_active(kCutItem));
  pick_main(kCopyItem);
  EXPECT_EQ(clipboard(0), "document");
  EXPECT_EQ(clipboard(1), "document");

  // The search input's menu copies from the input even while the Editor has the focus.
  search_text("needle and thread", 0, 6);
  run_search_menu(kSearchCopyItem);
  EXPECT_EQ(clipboard(0), "needle");
  EXPECT_EQ(clipboard(1), "needle");

  // "&Copy Text" of the tag popup menu copies the document's selection.
  run_popup(kCopyTextItem);
  EXPECT_EQ(clipboard(1), "document");

  // Focused search input with a selection wins over the document's.
  Fl::focus(a().search_input);
  a().search_input->position(10, 7);
  pick_main(kCopyItem);
  EXPECT_EQ(clipboard(0), "and");
  EXPECT_EQ(clipboard(1), "and");
}

TEST_F(ViewCommands, CopyWithTheInputSelectedButNotFocusedEmptiesTheClipboards) {
  Fl::focus(a().editor);
  search_text("needle", 0, 6);
  a().text_buffer->unselect();
  refresh();
  EXPECT_TRUE(main_active(kCopyItem));  // the input's selection counts for the state...
  put_on_both_clipboards("earlier");
  pick_main(kCopyItem);  // ...but the copy takes the document's, none
  EXPECT_EQ(clipboard(0), "");
  EXPECT_EQ(clipboard(1), "");
}

TEST_F(ViewCommands, PasteGoesToTheFocusWidgetAndTheEditorIgnoresIt) {
  put_on_both_clipboards("pasted");
  search_text("abcdef", 2, 4);
  Fl::focus(a().search_input);
  pick_main(kPasteItem);
  EXPECT_STREQ(a().search_input->value(), "abpastedef");

  Fl::focus(a().editor);
  run_search_menu(kSearchPasteItem);
  EXPECT_EQ(text(), "a document with https://example.org/x in it");
  EXPECT_STREQ(a().search_input->value(), "abpastedef");

  Fl::focus(nullptr);
  pick_main(kPasteItem);
  EXPECT_STREQ(a().search_input->value(), "abpastedef");
}

TEST_F(ViewCommands, CutAlwaysCutsFromTheSearchInputAndRestartsTheSearch) {
  int searches = 0;
  a().search_input->callback(count_call, &searches);
  Fl::focus(a().editor);
  select_document(0, 10);
  search_text("needle haystack", 0, 7);
  refresh();
  EXPECT_TRUE(main_active(kCutItem));
  EXPECT_TRUE(a().search_menu[kSearchCutItem].active());
  pick_main(kCutItem);
  EXPECT_STREQ(a().search_input->value(), "haystack");
  EXPECT_EQ(clipboard(1), "needle ");
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(text(), "a document with https://example.org/x in it");

  // Without a selection nothing is cut, and the earlier cut does not come back either.
  put_on_both_clipboards("kept");
  a().search_input->position(3, 3);
  refresh();
  EXPECT_FALSE(main_active(kCutItem));
  run_search_menu(kSearchCutItem);
  EXPECT_STREQ(a().search_input->value(), "haystack");
  EXPECT_EQ(clipboard(1), "kept");
  EXPECT_EQ(searches, 1);
}

TEST_F(ViewCommands, CtrlCInTheEditorCopiesTheDocumentSelection) {
  put_on_both_clipboards("earlier");
  select_document(2, 10);
  Fl::e_state = FL_CTRL;
  Fl::e_keysym = 'c';
  Fl::e_text = const_cast<char*>("");
  Fl::e_length = 0;
  EXPECT_EQ(a().editor->handle(FL_KEYBOARD), 1);
  Fl::e_state = 0;
  EXPECT_EQ(clipboard(1), "document");
  EXPECT_EQ(text(), "a document with https://example.org/x in it");
}

TEST_F(ViewCommands, OpenUriHandsTheSelectedTextToTheDesktop) {
  std::vector<std::string> opened;
  a().open_uri = [&opened](const char* uri) {
    opened.emplace_back(uri);
    return 1;
  };
  select_document(16, 37);
  run_popup(kOpenUriItem);
  a().text_buffer->unselect();
  run_popup(kOpenUriItem);
  EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/x", ""}));
}

TEST_F(ViewCommands, SelectionChangesKeepTheTitleAndTextChangesKeepThePopupStates) {
  const std::string path = dir_.document("doc.txt", "some words\n");
  load(path);
  ASSERT_EQ(a().window->label(), path);
  select_document(0, 4);
  EXPECT_EQ(a().window->label(), path);
  EXPECT_TRUE(a().tag_popup_menu[kNewTagItem].active());
  EXPECT_FALSE(a().tag_popup_menu[kRemoveTagItem].active());

  a().doc.path.reset();
  a().text_buffer->insert(0, "x");  // a text change: the title follows, the items stay
  EXPECT_STREQ(a().window->label(), "modified: no file loaded");
  EXPECT_TRUE(a().tag_popup_menu[kNewTagItem].active());
  EXPECT_FALSE(a().tag_popup_menu[kRemoveTagItem].active());
}

TEST_F(ViewCommands, StyleChangesMarkTheTagsUnsavedAndLoadingClearsTheMark) {
  const std::string path = dir_.document("doc.txt", "some words\n");
  load(path);
  refresh();
  EXPECT_FALSE(main_active(kSaveTagItem));

  a().style_buffer->select(0, 3);  // a notification without a change of styles
  EXPECT_EQ(a().unsaved_tags, 0);
  auto tag = make_tag(0, 4, 'C', 5, "");
  ASSERT_EQ(a().tags.insert_tag(tag), 1);
  restyle_tag_area(a(), 0, 4);
  EXPECT_EQ(a().unsaved_tags, 1);
  refresh();
  EXPECT_TRUE(main_active(kSaveTagItem));

  load(path);
  EXPECT_EQ(a().unsaved_tags, 0);
  refresh();
  EXPECT_FALSE(main_active(kSaveTagItem));
}

}  // namespace
}  // namespace gm::testing
