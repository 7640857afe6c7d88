#include "tags/tag_document.h"

#include <algorithm>
#include <cstdio>

#include "tags/styles.h"
#include "tags/tag_file.h"

namespace gm {

namespace {

// The live Tag is found again by identity; one that is gone already changes nothing.
void take_out(TagList& tags, const Tag* payload) {
  if (payload) tags.remove_tag(*payload);
}

// The list gets a fresh copy: the payload must stay in the record for the next redo or undo.
// A copy the list refuses is simply dropped.
void put_back(TagList& tags, const Tag* payload) {
  if (!payload) return;
  auto copy = copy_tag(*payload);
  tags.insert_tag(copy);
}

void repaint(TagChange& change, const Tag* payload) {
  if (payload) change.repaint.push_back({payload->start, payload->end});
}

// Sorted, with ranges that overlap or touch made one; empty ones dropped.
void merge_ranges(std::vector<TextRange>& ranges) {
  ranges.erase(std::remove_if(ranges.begin(), ranges.end(),
                              [](const TextRange& r) { return r.start >= r.end; }),
               ranges.end());
  std::sort(ranges.begin(), ranges.end(),
            [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
  size_t kept = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (kept > 0 && ranges[i].start <= ranges[kept - 1].end) {
      ranges[kept - 1].end = std::max(ranges[kept - 1].end, ranges[i].end);
    } else {
      ranges[kept++] = ranges[i];
    }
  }
  ranges.resize(kept);
}

const TagNode* find_identity(const TagList& tags, const TagIdentity& id) {
  for (const TagNode* n = tags.head(); n; n = n->next.get())
    if (identity_of(*n->tag) == id) return n;
  return nullptr;
}

// The record Redo would make next.
const HistoryRecord* next_record(const TagHistory& history) {
  return history.current() ? history.current()->next.get() : history.head();
}

}  // namespace

int TagDocument::open(const std::function<int(TagList&)>& read) {
  const int result = read(list_);
  if (result != 0) return result;
  normalize_styles_for_document(list_);
  history_ = std::make_unique<TagHistory>(-1);
  unsaved_ = false;
  return 0;
}

int TagDocument::save(const std::string& path, std::optional<ViewTop> top) {
  if (top) {
    list_.top_line = top->line;
    list_.top_column = top->column;
  }
  if (write_tag_file(list_, path.c_str()) != 0) return -1;
  unsaved_ = false;
  return 0;
}

TagChange TagDocument::finish(TagChange change) {
  if (!change.made) return change;
  merge_ranges(change.repaint);
  unsaved_ = true;
  if (listener_) listener_(change);
  return change;
}

TagChange TagDocument::add(std::unique_ptr<Tag> tag) {
  TagChange change;
  if (!tag) return change;
  change.repaint.push_back({tag->start, tag->end});
  auto copy = copy_tag(*tag);
  list_.insert_tag(tag);
  history_->add_action(ADD, std::move(copy));
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

TagChange TagDocument::edit(int32_t position, std::unique_ptr<Tag> replacement) {
  TagChange change;
  const TagNode* old = list_.find_tag_at(position);
  if (!old || !replacement) return change;
  const Tag& was = *old->tag;
  change.repaint = {{was.start, was.end}, {replacement->start, replacement->end}};
  history_->add_action(EDIT_OLD, copy_tag(was));
  list_.remove_tag(identity_of(was));
  auto copy = copy_tag(*replacement);
  list_.insert_tag(replacement);
  history_->add_action(EDIT_NEW, std::move(copy));
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

TagChange TagDocument::remove_at(int32_t position) {
  TagChange change;
  const TagNode* node = list_.find_tag_at(position);
  if (!node) return change;
  change.repaint.push_back({node->tag->start, node->tag->end});
  history_->add_action(REMOVE, copy_tag(*node->tag));
  list_.remove_tag_at(position);
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

void TagDocument::undo_step(TagChange& change) {
  TagHistory& history = *history_;
  const HistoryRecord* const record = history.current();
  const Tag* const payload = record->payload.get();
  switch (record->action) {
    case ADD:
      take_out(list_, payload);
      history.step_back();
      repaint(change, payload);
      break;
    case REMOVE:
      put_back(list_, payload);
      history.step_back();
      repaint(change, payload);
      break;
    case EDIT_NEW: {
      take_out(list_, payload);
      history.step_back();
      repaint(change, payload);
      // The whole edit is one step; a lone EDIT_NEW stops here.
      const HistoryRecord* const old = history.current();
      if (old && old->action == EDIT_OLD) {
        const Tag* const old_payload = old->payload.get();
        put_back(list_, old_payload);
        history.step_back();
        repaint(change, old_payload);
      }
      break;
    }
    default:
      std::fprintf(stderr, "unknown action!\n");
      history.step_back();
      repaint(change, payload);
  }
}

void TagDocument::redo_step(TagChange& change) {
  TagHistory& history = *history_;
  const HistoryRecord* const record = history.step_forward();
  const Tag* const payload = record->payload.get();
  switch (record->action) {
    case ADD:
      put_back(list_, payload);
      repaint(change, payload);
      break;
    case REMOVE:
      take_out(list_, payload);
      repaint(change, payload);
      break;
    case EDIT_OLD:
      take_out(list_, payload);
      repaint(change, payload);
      if (history.can_redo()) {
        const HistoryRecord* const replacement = history.step_forward();
        if (replacement->action == EDIT_NEW) {
          const Tag* const new_payload = replacement->payload.get();
          put_back(list_, new_payload);
          repaint(change, new_payload);
        } else {
          history.step_back();  // stay on the EDIT_OLD record
        }
      }
      break;
    default:
      break;  // nothing to make again; the position moved all the same
  }
}

TagChange TagDocument::undo() {
  TagChange change;
  if (!history_->can_undo()) return change;
  do {
    undo_step(change);
  } while (history_->can_undo() && next_record(*history_)->joined);
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

TagChange TagDocument::redo() {
  TagChange change;
  if (!history_->can_redo()) return change;
  do {
    redo_step(change);
  } while (history_->can_redo() && next_record(*history_)->joined);
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

TagChange TagDocument::set_default_style(unsigned char style) {
  TagChange change;
  change.style_swap = TagChange::StyleSwap{list_.default_style, style};
  list_.default_style = style;
  change.made = true;
  return finish(std::move(change));
}

TagChange TagDocument::move_tags(const std::vector<TagMove>& moves) {
  TagChange change;
  for (const TagMove& move : moves) {
    if (move.start >= move.end) continue;
    const TagNode* node = find_identity(list_, move.tag);
    if (!node) continue;
    auto moved = copy_tag(*node->tag);
    moved->start = move.start;
    moved->end = move.end;
    change.repaint.push_back({move.tag.start, move.tag.end});
    change.repaint.push_back({move.start, move.end});
    // Every pair after the first goes with the one before it: one Undo takes all back.
    history_->add_action(EDIT_OLD, copy_tag(*node->tag), change.made);
    list_.remove_tag(move.tag);
    auto copy = copy_tag(*moved);
    list_.insert_tag(moved);
    history_->add_action(EDIT_NEW, std::move(copy));
    change.made = true;
  }
  change.tags = change.history = change.made;
  return finish(std::move(change));
}

}  // namespace gm
