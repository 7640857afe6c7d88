// The incremental search of the sidebar: every change of the search input starts over, and
// one-shot timers add one hit per step, so the window stays responsive on long result lists.
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "tags/tag.h"
#include "ui/tag_browser.h"

namespace gm {

namespace {

constexpr double kStepDelay = 0.01;

void stop_steps(App& a) {
  Fl::remove_timeout(search_text_step, &a);
  Fl::remove_timeout(search_tags_step, &a);
}

void add_text_hit(App& a, size_t hit) {
  const std::string_view text(*a.doc.data);
  a.tag_browser->add(hit_line("@C100@.", text.substr(hit)).c_str(),
                     reinterpret_cast<void*>(static_cast<uintptr_t>(hit)));
}

void add_note_hit(App& a, const TagNode* node, size_t hit) {
  const Tag& tag = *node->tag;
  a.tag_browser->add(hit_line(style_codes(tag.style), tag.note().substr(hit)).c_str(),
                     const_cast<TagNode*>(node));
  a.browser_tags.push_back(ref_to(a.tags, node));
}

// Where a Tag step goes on. Tags may have changed since the last step: the next Tag is found
// wherever it lives now; when it is gone, the step goes on after the last Tag listed; when
// that is gone as well, the search ends rather than list a Tag twice.
const TagNode* resume_point(App& a) {
  if (!a.tag_search_position.node) return nullptr;
  if (const TagNode* next = find_live(a.tags, a.tag_search_position)) return next;
  if (!a.tag_search_last.node) return nullptr;
  const TagNode* last = find_live(a.tags, a.tag_search_last);
  return last ? last->next.get() : nullptr;
}

}  // namespace

void search_text_step(void* data) {
  App& a = *static_cast<App*>(data);
  if (a.search_restart) {
    a.search_restart = false;
    a.text_search_position = 0;
  }
  if (!a.doc.data || a.search_pattern.empty()) return;
  const size_t hit = a.doc.data->find(a.search_pattern, a.text_search_position);
  if (hit == std::string::npos) return;
  add_text_hit(a, hit);
  // Past the whole occurrence: hits never overlap.
  a.text_search_position = hit + a.search_pattern.size();
  Fl::add_timeout(kStepDelay, search_text_step, data);
}

void search_tags_step(void* data) {
  App& a = *static_cast<App*>(data);
  const TagNode* node = nullptr;
  if (a.search_restart) {
    a.search_restart = false;
    a.tag_search_last = {};
    node = a.tags.head();
  } else {
    node = resume_point(a);
  }
  if (a.search_pattern.empty()) return;
  for (; node; node = node->next.get()) {
    const Tag& tag = *node->tag;
    if (!tag.has_note()) continue;
    const size_t hit = tag.note().find(a.search_pattern);
    if (hit == std::string_view::npos) continue;
    a.tag_search_position = ref_to(a.tags, node->next.get());
    a.tag_search_last = ref_to(a.tags, node);
    add_note_hit(a, node, hit);
    Fl::add_timeout(kStepDelay, search_tags_step, data);
    return;
  }
  a.tag_search_position = {};
}

void restart_search(App& a) {
  a.tag_browser->clear();
  a.browser_tags.clear();
  a.browser_mode = a.search_type;
  stop_steps(a);
  a.search_pattern = a.search_input->value();
  if (a.search_pattern.empty()) {
    std::printf("Size of input characters is too small:  %d\n",
                static_cast<int>(a.search_pattern.size()));
    return;
  }
  a.search_restart = true;
  switch (a.search_type) {
    case 0:
      Fl::add_timeout(kStepDelay, search_text_step, &a);
      break;
    case 1:
      Fl::add_timeout(kStepDelay, search_tags_step, &a);
      break;
    default:
      std::fputs("incorrect SEARCH TYPE", stderr);
      std::fflush(stderr);  // the line has no line break of its own to flush it
      std::abort();
  }
}

void start_search(Fl_Widget*, void*) { restart_search(app()); }

void choose_search_type(Fl_Widget* choice, void*) {
  const int item = static_cast<Fl_Choice*>(choice)->value();
  if (item == 0 || item == 1) app().search_type = item;
}

}  // namespace gm
