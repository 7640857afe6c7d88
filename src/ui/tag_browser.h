// The sidebar's tag browser: the list of all Tags, the incremental search that fills it with
// hits, and the click that takes the Editor to a line's target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class Fl_Widget;

namespace gm {

class App;
class TagList;
struct Tag;
struct TagNode;

// A Tag remembered across changes of the TagList. The node is only a hint: it is followed
// while the list is unchanged, or while it is still in the list and still holds the same Tag
// (remove_tag_at moves the next Tag into the node it empties); otherwise the Tag is looked up
// anew by its identity.
struct TagRef {
  TagNode* node = nullptr;  // none: no Tag
  int32_t start = 0;
  int32_t end = 0;
  int32_t time = 0;
  uint64_t generation = 0;  // of the list when the reference was taken
};

TagRef ref_to(const TagList& tags, TagNode* node);
// The live node that holds the Tag, or none when the Tag is gone.
TagNode* find_live(TagList& tags, const TagRef& ref);

// Fills the tag browser with one line per Tag, in TagList order; stops any running search.
void list_tags(App& a);

// The browser line of a Tag in the all-Tags list: its style's codes, then the first line of
// its note (with "..." when more lines follow) or "<NO TAG TEXT>".
std::string tag_list_line(const Tag& tag);
// "@C<colour>@F<font>@S<size>@." for a style character.
std::string style_codes(unsigned char style);
// codes + text up to its first line break, cut to what a browser line can hold.
std::string hit_line(std::string_view codes, std::string_view text);

// Incremental search. The steps are one-shot timers whose data is the App; each adds one hit.
void search_text_step(void* app);
void search_tags_step(void* app);
// Clears the list and starts a search for the search input's text (src/ui/search.cpp).
void restart_search(App& a);
void start_search(Fl_Widget* input, void* browser);  // the search input's callback
void choose_search_type(Fl_Widget* choice, void*);

// Takes the Editor to the target of the tag browser's selected line.
void show_selected_line(App& a);
void show_browser_line(Fl_Widget* browser, void* editor);  // the tag browser's callback

}  // namespace gm
