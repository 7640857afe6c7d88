// The tag browser: a list that draws only the lines in view. It lists either every Tag of a
// TagList, each line formatted when it is drawn, so that a change of a million Tags costs no
// more than one of ten; or lines added one by one, as the search finds them. Its lines look
// and behave as those of a hold browser: the same format codes, selection, clicks and keys.
#pragma once

#include <FL/Fl_Browser_.H>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/tag.h"

namespace gm {

class TagBrowser : public Fl_Browser_ {
 public:
  // Writes the line of a Tag into `line`, format codes first.
  using TagLineFormat = void (*)(std::string& line, const Tag& tag);

  TagBrowser(int x, int y, int w, int h);
  ~TagBrowser() override;

  // Lists every Tag of `tags` in list order from now on, following the list as it changes;
  // call tags_changed after each change. Scrolls to the top, no line selected.
  void show_tags(const TagList& tags, TagLineFormat format);
  void tags_changed();
  // Empties the browser; lines added from now on are kept as they are.
  void clear();
  void add(std::string line, void* data);

  int size() const;
  // Line `line` (from 1) as drawn, format codes included; empty outside the list.
  std::string text(int line) const;
  // The data of an added line; for a line of the Tag list, its node (good until the list
  // changes); null outside the list.
  void* data(int line) const;
  const TagNode* tag_at(int line) const;
  // The selected line, 0 for none.
  int value() const;
  void value(int line) { select(line); }
  // Selects (or deselects) a line without calling back; 1 when the selection changed.
  int select(int line, int val = 1);

 protected:
  void* item_first() const override;
  void* item_next(void* item) const override;
  void* item_prev(void* item) const override;
  void* item_last() const override;
  int item_height(void* item) const override;
  int item_width(void* item) const override;
  void item_draw(void* item, int x, int y, int w, int h) const override;
  void item_select(void* item, int val) override;
  int item_selected(void* item) const override;
  int full_height() const override;
  int incr_height() const override;

 private:
  class LinePainter;

  const TagNode* node_at(int line) const;
  // Hands the line to the painter unless it holds it already.
  void load_line(int line) const;
  int line_height(const std::string& line) const;
  int style_height(unsigned char style) const;
  void start_over();

  std::unique_ptr<LinePainter> painter_;  // a hold browser of one line, never shown
  const TagList* tags_ = nullptr;         // null: the added lines are listed
  TagLineFormat format_ = nullptr;
  std::vector<std::string> lines_;
  std::vector<void*> data_;
  std::vector<int> heights_;
  int added_height_ = 0;  // of the added lines
  int selected_ = 0;

  // Walks of the singly linked TagList go on from the last line looked up.
  mutable int cursor_line_ = 0;
  mutable const TagNode* cursor_node_ = nullptr;
  mutable uint64_t cursor_generation_ = 0;
  mutable std::vector<const TagNode*> checkpoints_;  // lines 1, 1 + kCheckpointEvery, ...
  mutable std::vector<const TagNode*> segment_;      // every node of one stretch between two
  mutable size_t segment_part_ = 0;                  // checkpoints, the stretch's number

  mutable uint64_t lines_version_ = 0;  // moves whenever a line may have changed
  mutable uint64_t loaded_version_ = 0;
  mutable int loaded_line_ = 0;                   // the line the painter holds, 0 for none
  mutable std::array<int, 256> style_heights_{};  // 0: not measured yet
};

}  // namespace gm
