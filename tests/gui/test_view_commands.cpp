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

#include "gui_support.h"
#include "ui/editor.h"
#include "ui/view.h"

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
    a().view.text().text("a document with https://example.org/x in it");
    a().window.window().show();
    Fl::flush();
  }
  void TearDown() override {
    Fl::focus(nullptr);
    AppTest::TearDown();
  }
  // Runs a main menu item as a pick would (the toolkit flips a toggle's check mark first).
  void pick_main(const char* path) { pick(a().window.menu_bar(), path); }
  bool main_active(const char* path) { return item_active(a().window.menu_bar(), path); }
  void run_search_menu(const char* label) { pick(a().sidebar.search_menu_button(), label); }
  void run_popup(const char* label) { pick(a().view.popup_button(), label); }
  void select_document(int start, int end) { a().view.text().select(start, end); }
  void search_text(const char* text, int from, int to) {
    a().sidebar.search_input().value(text);
    a().sidebar.search_input().position(to, from);
  }
  void refresh() {
    a().window.refresh_commands();
  }
};

TEST_F(ViewCommands, SidebarComesBackWithTheLayoutTheUserDragged) {
  a().window.tile().position(260, 30, 300, 30);  // the user drags the sidebar border to x 300
  ASSERT_EQ(box_of(&a().view.editor()), (Box{300, 30, 500, 570}));
  const Box browser = box_of(&a().sidebar.browser());
  const Box choice = box_of(&a().sidebar.type_choice());
  const Box input = box_of(&a().sidebar.search_input());

  pick_main("&View/Side&Bar  ");
  EXPECT_EQ(box_of(&a().view.editor()), (Box{0, 30, 800, 570}));
  EXPECT_FALSE(a().sidebar.search_input().visible());
  EXPECT_FALSE(a().sidebar.type_choice().visible());
  EXPECT_FALSE(static_cast<Fl_Widget&>(a().sidebar.browser()).visible());
  EXPECT_TRUE(a().sidebar.search_menu_button().visible());  // covered by the Editor instead
  EXPECT_FALSE(a().window.menu_bar().find_item("&View/Side&Bar  ")->value());

  pick_main("&View/Side&Bar  ");
  EXPECT_EQ(box_of(&a().view.editor()), (Box{300, 30, 500, 570}));
  EXPECT_TRUE(a().sidebar.search_input().visible());
  EXPECT_TRUE(a().sidebar.type_choice().visible());
  EXPECT_TRUE(static_cast<Fl_Widget&>(a().sidebar.browser()).visible());
  EXPECT_EQ(box_of(&a().sidebar.browser()), browser);
  EXPECT_EQ(box_of(&a().sidebar.type_choice()), choice);
  EXPECT_EQ(box_of(&a().sidebar.search_input()), input);
  EXPECT_TRUE(a().window.menu_bar().find_item("&View/Side&Bar  ")->value());
}

TEST_F(ViewCommands, CopyTakesTheSearchInputOnlyWhenItsMenuOrTheFocusSaysSo) {
  // Document selected, search input empty and unfocused.
  Fl::focus(&a().view.editor());
  select_document(2, 10);
  refresh();
  EXPECT_TRUE(main_active("&Edit/Copy"));
  EXPECT_FALSE(main_active("&Edit/Cut"));
  pick_main("&Edit/Copy");
  EXPECT_EQ(clipboard(0), "document");
  EXPECT_EQ(clipboard(1), "document");

  // The search input's menu copies from the input even while the Editor has the focus.
  search_text("needle and thread", 0, 6);
  run_search_menu("Copy");
  EXPECT_EQ(clipboard(0), "needle");
  EXPECT_EQ(clipboard(1), "needle");

  // "&Copy Text" of the tag popup menu copies the document's selection.
  run_popup("&Copy Text");
  EXPECT_EQ(clipboard(1), "document");

  // Focused search input with a selection wins over the document's.
  Fl::focus(&a().sidebar.search_input());
  a().sidebar.search_input().position(10, 7);
  pick_main("&Edit/Copy");
  EXPECT_EQ(clipboard(0), "and");
  EXPECT_EQ(clipboard(1), "and");
}

TEST_F(ViewCommands, CopyWithTheInputSelectedButNotFocusedEmptiesTheClipboards) {
  Fl::focus(&a().view.editor());
  search_text("needle", 0, 6);
  a().view.text().unselect();
  refresh();
  EXPECT_TRUE(main_active("&Edit/Copy"));  // the input's selection counts for the state...
  put_on_both_clipboards("earlier");
  pick_main("&Edit/Copy");  // ...but the copy takes the document's, none
  EXPECT_EQ(clipboard(0), "");
  EXPECT_EQ(clipboard(1), "");
}

TEST_F(ViewCommands, PasteGoesToTheFocusWidgetAndTheEditorIgnoresIt) {
  put_on_both_clipboards("pasted");
  search_text("abcdef", 2, 4);
  Fl::focus(&a().sidebar.search_input());
  pick_main("&Edit/Paste");
  EXPECT_STREQ(a().sidebar.search_input().value(), "abpastedef");

  Fl::focus(&a().view.editor());
  run_search_menu("Paste  ");
  EXPECT_EQ(text(), "a document with https://example.org/x in it");
  EXPECT_STREQ(a().sidebar.search_input().value(), "abpastedef");

  Fl::focus(nullptr);
  pick_main("&Edit/Paste");
  EXPECT_STREQ(a().sidebar.search_input().value(), "abpastedef");
}

TEST_F(ViewCommands, CutAlwaysCutsFromTheSearchInputAndRestartsTheSearch) {
  int searches = 0;
  a().sidebar.search_input().callback(count_call, &searches);
  Fl::focus(&a().view.editor());
  select_document(0, 10);
  search_text("needle haystack", 0, 7);
  refresh();
  EXPECT_TRUE(main_active("&Edit/Cut"));
  EXPECT_TRUE(item_active(a().sidebar.search_menu_button(), "Cut"));
  pick_main("&Edit/Cut");
  EXPECT_STREQ(a().sidebar.search_input().value(), "haystack");
  EXPECT_EQ(clipboard(1), "needle ");
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(text(), "a document with https://example.org/x in it");

  // Without a selection nothing is cut, and the earlier cut does not come back either.
  put_on_both_clipboards("kept");
  a().sidebar.search_input().position(3, 3);
  refresh();
  EXPECT_FALSE(main_active("&Edit/Cut"));
  run_search_menu("Cut");
  EXPECT_STREQ(a().sidebar.search_input().value(), "haystack");
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
  EXPECT_EQ(a().view.editor().handle(FL_KEYBOARD), 1);
  Fl::e_state = 0;
  EXPECT_EQ(clipboard(1), "document");
  EXPECT_EQ(text(), "a document with https://example.org/x in it");
}

TEST_F(ViewCommands, OpenUriHandsTheSelectedTextToTheDesktop) {
  std::vector<std::string> opened;
  a().commands.open_uri_with = [&opened](const char* uri) {
    opened.emplace_back(uri);
    return 1;
  };
  select_document(16, 37);
  run_popup("Open uri with external program");
  a().view.text().unselect();
  run_popup("Open uri with external program");
  EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/x", ""}));
}

TEST_F(ViewCommands, SelectionChangesKeepTheTitleAndTextChangesKeepThePopupStates) {
  const std::string path = dir_.document("doc.txt", "some words\n");
  load(path);
  ASSERT_EQ(a().window.window().label(), path);
  select_document(0, 4);
  EXPECT_EQ(a().window.window().label(), path);
  EXPECT_TRUE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_FALSE(item_active(a().view.popup_button(), "Remove tag"));

  a().document.file.path.reset();
  a().view.text().insert(0, "x");  // a text change: the title follows, the items stay
  EXPECT_STREQ(a().window.window().label(), "modified: no file loaded");
  EXPECT_TRUE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_FALSE(item_active(a().view.popup_button(), "Remove tag"));
}

TEST_F(ViewCommands, TagChangesMarkTheTagsUnsavedAndLoadingClearsTheMark) {
  const std::string path = dir_.document("doc.txt", "some words\n");
  load(path);
  refresh();
  EXPECT_FALSE(main_active("&File/&Save Tag  "));

  a().view.styles().select(0, 3);  // a notification without a change of tags
  EXPECT_FALSE(unsaved());
  a().document.tags.add(make_tag(0, 4, 'C', 5, ""));
  EXPECT_TRUE(unsaved());
  refresh();
  EXPECT_TRUE(main_active("&File/&Save Tag  "));

  load(path);
  EXPECT_FALSE(unsaved());
  refresh();
  EXPECT_FALSE(main_active("&File/&Save Tag  "));
}

}  // namespace
}  // namespace gm::testing
