// The sidebar search typed key by key, its hits, the clicks on browser lines, and what the
// lines do after the Tags they name have changed.
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "gui_support.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

using Lines = std::vector<std::string>;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class SearchTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    a().window.window().show();
    Fl::flush();
  }

  void open(const std::string& text, const std::vector<TagData>& tags = {}) {
    load(dir_.document("doc.txt", text, tags));
    a().sidebar.list_tags();
  }

  // Keys as the toolkit delivers them to the focused search input.
  void key(int keysym, const char* text) {
    Fl::focus(&a().sidebar.search_input());
    Fl::e_state = 0;
    Fl::e_keysym = keysym;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(std::strlen(text));
    Fl::handle(FL_KEYBOARD, &a().window.window());
  }
  void type(const std::string& text) {
    for (const char c : text) {
      const char one[2] = {c, '\0'};
      key(static_cast<unsigned char>(c), one);
    }
  }
  void enter() { key(FL_Enter, "\r"); }

  bool searching() {
    return a().sidebar.searching();
  }
  // Runs the toolkit's timers until the search has no step left.
  void run_search() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (searching()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the search does not end";
      Fl::wait(0.005);
    }
  }
  // One text step by hand in place of its timer (the toolkit runs late timers in a burst).
  void text_step() {
    a().sidebar.stop_search();
    a().sidebar.text_step();
  }
  void search(const std::string& pattern, int type_index = 0) {
    a().sidebar.search().type = type_index == 0 ? SearchType::kText : SearchType::kNotes;
    a().sidebar.search_input().value("");
    type(pattern);
    run_search();
  }

  Lines lines() {
    Lines all;
    for (int i = 1; i <= a().sidebar.browser().size(); ++i) all.push_back(a().sidebar.browser().text(i));
    return all;
  }
  void click(int line) {
    a().sidebar.browser().select(line);
    a().sidebar.browser().do_callback();
  }
  std::pair<int, int> selection() {
    int start = -1;
    int end = -1;
    if (!a().view.text().selection_position(&start, &end)) return {-1, -1};
    return {start, end};
  }
  std::pair<int, int> highlight() {
    int start = -1;
    int end = -1;
    if (!a().view.text().highlight_position(&start, &end)) return {-1, -1};
    return {start, end};
  }
};

TEST_F(SearchTest, EveryKeystrokeStartsOverWithTheWholeInputAndEnterRepeatsIt) {
  open("ab ab\nab\nab\nabc one\nab ab\nxabc two\n");
  type("ab");
  text_step();  // one hit of 'ab' is listed, the rest still to come
  ASSERT_EQ(a().sidebar.browser().size(), 1);
  ASSERT_TRUE(searching());
  type("c");
  EXPECT_EQ(a().sidebar.browser().size(), 0);
  run_search();
  const Lines hits = {"@C100@.abc one", "@C100@.abc two"};
  EXPECT_EQ(lines(), hits);
  EXPECT_EQ(a().sidebar.search().mode, BrowserMode::kTextHits);

  enter();
  EXPECT_EQ(a().sidebar.browser().size(), 0);
  run_search();
  EXPECT_EQ(lines(), hits);
}

TEST_F(SearchTest, HitsDoNotOverlapAndCaseCounts) {
  open("aaa\nThe Tag\n");
  search("aa");
  EXPECT_EQ(lines(), (Lines{"@C100@.aaa"}));
  search("tag");
  EXPECT_EQ(lines(), Lines{});
  search("Tag");
  EXPECT_EQ(lines(), (Lines{"@C100@.Tag"}));
}

TEST_F(SearchTest, AHitLeadsToTheStartOfItsLineAndMarksTheFirstOccurrenceThere) {
  const std::string text = "first line\nx foo y foo\nlast\n";
  open(text);
  search("foo");
  ASSERT_EQ(lines(), (Lines{"@C100@.foo y foo", "@C100@.foo"}));
  const int line_start = 11;
  const std::pair<int, int> first_foo = {13, 16};
  for (int line : {2, 1}) {
    a().view.text().unhighlight();
    click(line);
    EXPECT_EQ(a().view.editor().insert_position(), line_start) << line;
    EXPECT_EQ(highlight(), first_foo) << line;
  }

  search("first");
  a().view.editor().insert_position(20);
  click(1);
  EXPECT_EQ(a().view.editor().insert_position(), 0);
  EXPECT_EQ(highlight(), std::make_pair(0, 5));
}

TEST_F(SearchTest, HitLinesStopAtTheLineBreakAndStayWithinTheBrowsersLimit) {
  std::string long_line(100000, 'x');
  open("key" + long_line + "\nkey\n");
  search("key");
  const Lines found = lines();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_LT(found[0].size(), 32768u);
  EXPECT_EQ(found[0].compare(0, 10, "@C100@.key"), 0);
  EXPECT_EQ(found[1], "@C100@.key");
}

TEST_F(SearchTest, EmptyInputOrNoDocumentListsNothing) {
  search("word");
  EXPECT_EQ(lines(), Lines{}) << "no document loaded";

  open("a word\n");
  a().sidebar.search_input().value("");
  type("w");
  CaptureStdout();
  key(FL_BackSpace, "");
  const std::string said = GetCapturedStdout();
  EXPECT_EQ(said, "Size of input characters is too small:  0\n");
  EXPECT_FALSE(searching());
  run_search();
  EXPECT_EQ(lines(), Lines{});
}

TEST_F(SearchTest, ListTagsAndOpeningADocumentCancelTheSearch) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "hit\n";
  open(text, {{0, 3, 'B', 7, "note"}});
  type("hit");
  text_step();
  ASSERT_TRUE(searching());
  a().window.menu_bar().picked(a().window.menu_bar().find_item("&View/&List Tags   "));
  EXPECT_FALSE(searching());
  EXPECT_EQ(a().sidebar.search().mode, BrowserMode::kAllTags);
  EXPECT_EQ(lines(), (Lines{"@C88@F0@S14@.note"}));

  enter();
  text_step();
  ASSERT_TRUE(searching());
  a().commands.open_document(dir_.document("other.txt", "hit\n").c_str());
  EXPECT_FALSE(searching());
}

TEST_F(SearchTest, ChangingTheSearchTypeAloneKeepsTheList) {
  open("one word\n", {{4, 8, 'B', 7, "word"}});
  search("word");
  const Lines before = lines();
  a().sidebar.type_choice().value(1);
  a().sidebar.type_choice().do_callback();
  EXPECT_EQ(a().sidebar.search().type, SearchType::kNotes);
  EXPECT_FALSE(searching());
  EXPECT_EQ(lines(), before);
  enter();
  run_search();
  EXPECT_EQ(lines(), (Lines{"@C88@F0@S14@.word"}));
  EXPECT_EQ(a().sidebar.search().mode, BrowserMode::kNoteHits);
}

class TagSearchTest : public SearchTest {
protected:
  void SetUp() override {
    SearchTest::SetUp();
    //            0    5    10   15   20   25   30   35
    open("some text with tags to look at, many words\n",
         {
             {0, 4, 'B', 11, "tag tag tag"},
             {5, 9, 'K', 12, ""},
             {10, 14, 'i', 13, "one Tag only"},
             {15, 19, 'C', 14, "first line\nsee tag here\nmore"},
             {20, 22, 'D', 15, "tag again"},
             {23, 27, 'E', 16, "and tag"},
         });
  }
  const TagNode* node_at(int index) {
    const TagNode* node = tags().head();
    while (index-- > 0) node = node->next.get();
    return node;
  }
  // One step by hand, the timer it leaves behind dropped.
  void step() {
    a().sidebar.tag_step();
    a().sidebar.stop_search();
  }
  void start_tag_search_by_hand(const char* pattern) {
    a().sidebar.search().type = SearchType::kNotes;
    a().sidebar.search_input().value(pattern);
    a().sidebar.restart_search();
    a().sidebar.stop_search();
  }
};

TEST_F(TagSearchTest, EachMatchingNoteGivesOneLineFromItsFirstHit) {
  search("tag", 1);
  EXPECT_EQ(lines(), (Lines{style_codes('B') + "tag tag tag", style_codes('C') + "tag here",
                                   style_codes('D') + "tag again", style_codes('E') + "tag"}));
  EXPECT_EQ(a().sidebar.browser().data(1), node_at(0));
  EXPECT_EQ(a().sidebar.browser().data(2), node_at(3));
  search("Tag", 1);
  EXPECT_EQ(lines(), (Lines{style_codes('i') + "Tag only"}));
}

TEST_F(TagSearchTest, ATagLineSelectsItsTagAndWakesTheTagCommands) {
  EXPECT_EQ(lines()[0], style_codes('B') + "tag tag tag");
  EXPECT_EQ(lines()[1], style_codes('K') + "<NO TAG TEXT>");
  EXPECT_EQ(lines()[3], style_codes('C') + "first line...");
  EXPECT_FALSE(item_active(a().view.popup_button(), "New tag"));
  click(4);
  EXPECT_EQ(selection(), std::make_pair(15, 19));
  EXPECT_EQ(highlight(), std::make_pair(15, 19));
  EXPECT_EQ(a().view.editor().insert_position(), 15);
  EXPECT_TRUE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_TRUE(item_active(a().view.popup_button(), "Edit tag"));

  search("again", 1);
  click(1);
  EXPECT_EQ(selection(), std::make_pair(20, 22));
}

TEST_F(TagSearchTest, TagChangesRebuildOnlyTheListOfAllTags) {
  a().document.tags.add(make_tag(30, 35, 'F', 17, "new one"));
  EXPECT_EQ(a().sidebar.browser().size(), 7);
  EXPECT_EQ(lines()[6], style_codes('F') + "new one");

  search("one", 1);
  ASSERT_EQ(lines().size(), 2u);
  a().document.tags.remove_at(31);
  EXPECT_EQ(lines().size(), 2u);
}

// remove_tag_at frees the node after the one it empties, and moves that node's Tag in.
TEST_F(TagSearchTest, ALineWhoseTagIsGoneDoesNothingAndOneWhoseTagMovedFollowsIt) {
  search("tag", 1);  // lines: [0,4) [15,19) [20,22) [23,27)
  ASSERT_EQ(lines().size(), 4u);
  ASSERT_EQ(planted().remove_tag_at(16), 1);  // [20,22) moves into the node of [15,19)
  a().view.editor().insert_position(40);

  click(2);
  EXPECT_EQ(selection(), std::make_pair(-1, -1)) << "the line's Tag is gone";
  EXPECT_EQ(a().view.editor().insert_position(), 40);
  click(3);
  EXPECT_EQ(selection(), std::make_pair(20, 22)) << "the Tag lives on in another node";

  a().sidebar.list_tags();
  ASSERT_EQ(planted().remove_tag_at(1), 1);  // no repaint: the list is left as it was
  a().view.text().unselect();
  click(1);
  EXPECT_EQ(selection(), std::make_pair(-1, -1));
  click(2);
  EXPECT_EQ(selection(), std::make_pair(5, 9));
}

TEST_F(TagSearchTest, ASearchGoesOnPastTagsRemovedBetweenSteps) {
  const Lines listed_tag = {style_codes('B') + "tag tag tag"};
  start_tag_search_by_hand("tag");
  step();
  ASSERT_EQ(lines(), listed_tag);
  // The next Tags to look at go: the step goes on after the Tag it listed last.
  ASSERT_EQ(planted().remove_tag_at(6), 1);  // [5,9) had no note
  ASSERT_EQ(planted().remove_tag_at(11), 1);
  step();
  EXPECT_EQ(lines().back(), style_codes('C') + "tag here");

  // The Tag just listed goes, and the next one moves into its node: found there.
  ASSERT_EQ(planted().remove_tag_at(16), 1);
  step();
  EXPECT_EQ(lines().back(), style_codes('D') + "tag again");

  // Both the last listed and the next Tag go: the search ends.
  auto last = copy_tag(*node_at(1)->tag);
  auto next = copy_tag(*node_at(2)->tag);
  ASSERT_EQ(planted().remove_tag(*next), 1);
  ASSERT_EQ(planted().remove_tag(*last), 1);
  step();
  EXPECT_EQ(lines().size(), 3u);
  EXPECT_FALSE(a().sidebar.searching());
}

TEST_F(TagSearchTest, ASearchEndsAfterTheLastTag) {
  start_tag_search_by_hand("and");
  step();
  ASSERT_EQ(lines().size(), 1u);
  step();
  step();
  EXPECT_EQ(lines().size(), 1u);
  EXPECT_FALSE(a().sidebar.searching());
}

}  // namespace
}  // namespace gm::testing
