// The sidebar's tag browser: the list of all Tags, the incremental search that fills it with
// hits, and the click that takes the Editor to a line's target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tags/tag_ref.h"

class Fl_Widget;

namespace gm {

class App;

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
