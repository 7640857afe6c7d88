// The sidebar's tag browser: the list of all Tags, and the search steps that fill it with hits.
#pragma once

#include <string>

class Fl_Widget;

namespace gm {

class App;
struct Tag;

// Fills the tag browser with one line per Tag, in TagList order; stops any running search.
void list_tags(App& a);

// The browser line of a Tag in the all-Tags list: its style's codes, then the first line of
// its note (with "..." when more lines follow) or "<NO TAG TEXT>".
std::string tag_list_line(const Tag& tag);
// "@C<colour>@F<font>@S<size>@." for a style character.
std::string style_codes(unsigned char style);

// Incremental search (timers and sidebar callbacks); the search itself arrives later and
// these do nothing until then.
void search_text_step(void* pattern);
void search_tags_step(void* pattern);
void start_search(Fl_Widget* input, void* browser);
void choose_search_type(Fl_Widget* choice, void*);
void show_browser_line(Fl_Widget* browser, void* editor);

}  // namespace gm
