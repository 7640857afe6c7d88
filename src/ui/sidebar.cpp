#include "ui/sidebar.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "document/encoding.h"
#include "tags/styles.h"
#include "tags/tag.h"
#include "ui/editor.h"
#include "ui/view.h"

namespace gm {

namespace {

constexpr double kStepDelay = 0.01;

// The browser stores a line's length in 15 bits; longer lines are cut at a whole character.
constexpr size_t kMaxBrowserLine = 32000;

void cut_to_fit(std::string& line) {
  if (line.size() > kMaxBrowserLine) line.resize(char_start(line.data(), kMaxBrowserLine));
}

// A note kept with bytes that are not UTF-8 is listed with replacement characters.
void append_for_display(std::string& line, std::string_view text) {
  if (is_utf8(text.data(), text.size())) {
    line += text;
  } else {
    line += utf8_for_display(text);
  }
}

// Text up to its first line break, looking no further than a browser line can hold: a hit in
// a document with one huge line must not copy that whole line for every hit.
std::string_view first_line(std::string_view text) {
  const std::string_view head = text.substr(0, kMaxBrowserLine + 1);
  return head.substr(0, head.find('\n'));
}

// The codes of every style byte, formatted once: the browser formats a Tag's line each time
// it measures or draws it.
const std::string& cached_style_codes(unsigned char style) {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> codes;
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = style_codes(static_cast<unsigned char>(i));
    return codes;
  }();
  return table[style];
}

// Writes the line of tag_list_line into `line`, reusing its memory.
void make_tag_list_line(std::string& line, const Tag& tag) {
  line = cached_style_codes(tag.style);
  if (!tag.has_note()) {
    line += "<NO TAG TEXT>";
  } else {
    const std::string_view note = tag.note();
    append_for_display(line, first_line(note));
    if (note.find('\n') != std::string_view::npos) line += "...";
  }
  cut_to_fit(line);
}

void* node_data(const TagNode* node) { return const_cast<TagNode*>(node); }

}  // namespace

std::string tag_list_line(const Tag& tag) {
  std::string line;
  make_tag_list_line(line, tag);
  return line;
}

std::string hit_line(std::string_view codes, std::string_view text) {
  std::string line(codes);
  append_for_display(line, first_line(text));
  cut_to_fit(line);
  return line;
}

Sidebar::Sidebar(const TagList& tags, const DocumentState& document, View& view)
    : tags_(tags),
      document_(document),
      view_(view),
      type_menu_{{"Text", 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                 {"Tag", 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                 {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}} {}

Sidebar::~Sidebar() { stop_search(); }

void Sidebar::build(Fl_Menu_Item* search_menu) {
  input_ = new Fl_Input(0, 30, 200, 30, "");
  input_->when(FL_WHEN_ENTER_KEY_CHANGED);
  input_->tooltip(
      "Enter keyword to start searching. \nClick with right mouse button to popup edit menu.");
  input_->callback(input_changed, this);

  // Under the input, which does not use the right button: the button gets those presses.
  menu_button_ = new Fl_Menu_Button(0, 30, 200, 30);
  menu_button_->type(Fl_Menu_Button::POPUP3);
  menu_button_->box(FL_NO_BOX);
  menu_button_->menu(search_menu);

  type_choice_ = new Fl_Choice(200, 30, 60, 30);
  type_choice_->box(FL_NO_BOX);
  type_choice_->menu(type_menu_.data());
  type_choice_->callback(type_chosen, this);
  type_choice_->tooltip("Search in:");

  browser_ = new TagBrowser(0, 60, 260, 540);
  browser_->tooltip("Click with left mouse button.");
  browser_->callback(line_clicked, this);
}

void Sidebar::input_changed(Fl_Widget*, void* self) {
  static_cast<Sidebar*>(self)->restart_search();
}

void Sidebar::type_chosen(Fl_Widget* choice, void* self) {
  const int item = static_cast<Fl_Choice*>(choice)->value();
  // Changing the type starts no search; it applies from the next change of the input.
  if (item == 0) static_cast<Sidebar*>(self)->search_.type = SearchType::kText;
  if (item == 1) static_cast<Sidebar*>(self)->search_.type = SearchType::kNotes;
}

void Sidebar::line_clicked(Fl_Widget*, void* self) {
  static_cast<Sidebar*>(self)->show_selected_line();
}

void Sidebar::text_step_due(void* self) { static_cast<Sidebar*>(self)->text_step(); }
void Sidebar::tag_step_due(void* self) { static_cast<Sidebar*>(self)->tag_step(); }

void Sidebar::stop_search() {
  Fl::remove_timeout(text_step_due, this);
  Fl::remove_timeout(tag_step_due, this);
}

bool Sidebar::searching() const {
  void* const self = const_cast<Sidebar*>(this);
  return Fl::has_timeout(text_step_due, self) || Fl::has_timeout(tag_step_due, self);
}

void Sidebar::list_tags() {
  stop_search();
  search_.mode = BrowserMode::kAllTags;
  search_.lines.clear();
  if (browser_) browser_->show_tags(tags_, make_tag_list_line);
}

void Sidebar::tags_changed() {
  if (search_.mode == BrowserMode::kAllTags) list_tags();
}

void Sidebar::restart_search() {
  browser_->clear();
  search_.lines.clear();
  search_.mode =
      search_.type == SearchType::kText ? BrowserMode::kTextHits : BrowserMode::kNoteHits;
  stop_search();
  search_.pattern = input_->value();
  if (search_.pattern.empty()) {
    std::printf("Size of input characters is too small:  %d\n",
                static_cast<int>(search_.pattern.size()));
    return;
  }
  search_.restart = true;
  Fl::add_timeout(kStepDelay, search_.type == SearchType::kText ? text_step_due : tag_step_due,
                  this);
}

void Sidebar::add_text_hit(size_t hit) {
  const std::string_view text = document_.data->view();
  browser_->add(hit_line("@C100@.", text.substr(hit)),
                reinterpret_cast<void*>(static_cast<uintptr_t>(hit)));
}

void Sidebar::add_note_hit(const TagNode* node, size_t hit) {
  const Tag& tag = *node->tag;
  browser_->add(hit_line(style_codes(tag.style), tag.note().substr(hit)), node_data(node));
  search_.lines.push_back(ref_to(tags_, node));
}

void Sidebar::text_step() {
  if (search_.restart) {
    search_.restart = false;
    search_.text_position = 0;
  }
  if (!document_.data || search_.pattern.empty()) return;
  const size_t hit = document_.data->view().find(search_.pattern, search_.text_position);
  if (hit == std::string::npos) return;
  add_text_hit(hit);
  // Past the whole occurrence: hits never overlap.
  search_.text_position = hit + search_.pattern.size();
  Fl::add_timeout(kStepDelay, text_step_due, this);
}

// Where a Tag step goes on. Tags may have changed since the last step: the next Tag is found
// wherever it lives now; when it is gone, the step goes on after the last Tag listed; when
// that is gone as well, the search ends rather than list a Tag twice.
const TagNode* Sidebar::resume_point() const {
  if (!search_.tag_position.node) return nullptr;
  if (const TagNode* next = find_live(tags_, search_.tag_position)) return next;
  if (!search_.tag_last.node) return nullptr;
  const TagNode* last = find_live(tags_, search_.tag_last);
  return last ? last->next.get() : nullptr;
}

void Sidebar::tag_step() {
  const TagNode* node = nullptr;
  if (search_.restart) {
    search_.restart = false;
    search_.tag_last = {};
    node = tags_.head();
  } else {
    node = resume_point();
  }
  if (search_.pattern.empty()) return;
  for (; node; node = node->next.get()) {
    const Tag& tag = *node->tag;
    if (!tag.has_note()) continue;
    const size_t hit = tag.note().find(search_.pattern);
    if (hit == std::string_view::npos) continue;
    search_.tag_position = ref_to(tags_, node->next.get());
    search_.tag_last = ref_to(tags_, node);
    add_note_hit(node, hit);
    Fl::add_timeout(kStepDelay, tag_step_due, this);
    return;
  }
  search_.tag_position = {};
}

// The Tag the given line of a Tag list stands for, if it still exists. The list of all Tags
// follows the TagList: its lines are the live Tags.
const TagNode* Sidebar::line_tag(int line) const {
  if (search_.mode == BrowserMode::kAllTags) return browser_->tag_at(line);
  const auto index = static_cast<size_t>(line - 1);
  if (line < 1 || index >= search_.lines.size()) return nullptr;
  const TagRef& ref = search_.lines[index];
  // Lines and references are added together; a line from elsewhere is no Tag line.
  if (browser_->data(line) != ref.node) return nullptr;
  return find_live(tags_, ref);
}

// A text hit: the start of the hit's document line, with the first occurrence of the search
// input's text from there marked.
void Sidebar::show_text_hit(size_t hit) {
  if (!document_.data || hit >= document_.data->size()) return;
  const std::string_view text = document_.data->view();
  const size_t line_break = hit == 0 ? std::string::npos : text.rfind('\n', hit - 1);
  const size_t line_start = line_break == std::string::npos ? 0 : line_break + 1;
  Editor& editor = view_.editor();
  editor.insert_position(static_cast<int>(line_start));
  editor.show_insert_position();
  const std::string_view pattern = input_->value();
  if (pattern.empty()) return;
  const size_t found = text.find(pattern, line_start);
  if (found == std::string::npos) return;
  view_.text().highlight(static_cast<int>(found), static_cast<int>(found + pattern.size()));
}

void Sidebar::show_tag(const Tag& tag) {
  // Positions are clamped on loading, but the toolkit checks neither bound of a selection.
  WholeBuffer& text = view_.text();
  const int length = text.length();
  const int start = std::clamp<int>(tag.start, 0, length);
  const int end = std::clamp<int>(tag.end, start, length);
  Editor& editor = view_.editor();
  editor.insert_position(start);
  editor.show_insert_position();
  text.highlight(start, end);
  text.select(start, end);
}

void Sidebar::show_selected_line() {
  const int line = browser_->value();
  if (line == 0) return;
  if (search_.mode == BrowserMode::kTextHits) {
    show_text_hit(reinterpret_cast<uintptr_t>(browser_->data(line)));
  } else if (const TagNode* node = line_tag(line)) {
    show_tag(*node->tag);
  }
}

}  // namespace gm
