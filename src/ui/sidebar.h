// The sidebar: the search input with its popup menu, the search type choice and the tag
// browser, which lists all Tags or the hits of the incremental search; a click on a line takes
// the Editor there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "tags/tag_ref.h"

class Fl_Choice;
class Fl_Hold_Browser;
class Fl_Input;
class Fl_Menu_Button;
class Fl_Widget;
struct Fl_Menu_Item;

namespace gm {

class View;

// What the tag browser lists, and so what a click on a line does.
enum class BrowserMode { kTextHits, kNoteHits, kAllTags };
// Where the search looks: the search type choice's items, in order.
enum class SearchType { kText, kNotes };

// The running search. Every change of the search input starts it over; each step is a
// one-shot timer that adds one hit.
struct SearchState {
  SearchType type = SearchType::kText;
  BrowserMode mode = BrowserMode::kAllTags;
  std::string pattern;
  bool restart = false;       // the next step begins at the start
  size_t text_position = 0;   // offset into the document text
  TagRef tag_position;        // the next Tag to look at; none: the search is over
  TagRef tag_last;            // the last Tag listed, to go on after when the next is gone
  std::vector<TagRef> lines;  // the Tag each Tag line stands for (line n at n - 1)
};

// The browser line of a Tag in the all-Tags list: its style's codes, then the first line of
// its note (with "..." when more lines follow) or "<NO TAG TEXT>".
std::string tag_list_line(const Tag& tag);
// codes + text up to its first line break, cut to what a browser line can hold.
std::string hit_line(std::string_view codes, std::string_view text);

class Sidebar {
 public:
  Sidebar(const TagList& tags, const DocumentState& document, View& view);
  ~Sidebar();
  Sidebar(const Sidebar&) = delete;
  Sidebar& operator=(const Sidebar&) = delete;

  // Builds the search input with its popup menu button (showing `search_menu`, used in
  // place), the search type choice and the tag browser in the group being built.
  void build(Fl_Menu_Item* search_menu);

  Fl_Input& search_input() { return *input_; }
  Fl_Menu_Button& search_menu_button() { return *menu_button_; }
  Fl_Choice& type_choice() { return *type_choice_; }
  Fl_Hold_Browser& browser() { return *browser_; }
  SearchState& search() { return search_; }

  // Fills the tag browser with one line per Tag, in TagList order; stops a running search.
  void list_tags();
  // After a change of the Tags: the list of all Tags follows; search hits stay as they are.
  void tags_changed();
  // Cancels the steps of the running search.
  void stop_search();
  // A step of the running search is due.
  bool searching() const;
  // Clears the list and starts a search for the search input's text.
  void restart_search();
  // One step of the running search: adds the next hit and schedules the step after it.
  void text_step();
  void tag_step();
  // Takes the Editor to the target of the tag browser's selected line.
  void show_selected_line();

 private:
  static void input_changed(Fl_Widget*, void* self);
  static void type_chosen(Fl_Widget* choice, void* self);
  static void line_clicked(Fl_Widget*, void* self);
  static void text_step_due(void* self);
  static void tag_step_due(void* self);

  void add_text_hit(size_t hit);
  void add_note_hit(const TagNode* node, size_t hit);
  const TagNode* resume_point() const;
  const TagNode* line_tag(int line) const;
  void show_text_hit(size_t hit);
  void show_tag(const Tag& tag);

  const TagList& tags_;
  const DocumentState& document_;
  View& view_;
  SearchState search_;
  Fl_Input* input_ = nullptr;  // the widgets are owned by the window
  Fl_Menu_Button* menu_button_ = nullptr;
  Fl_Choice* type_choice_ = nullptr;
  Fl_Hold_Browser* browser_ = nullptr;
  std::vector<Fl_Menu_Item> type_menu_;
};

}  // namespace gm
