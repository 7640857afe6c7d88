#include "tags/tag_document.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

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

bool unplaced_before(const UnplacedTag& a, const UnplacedTag& b) {
  return std::tie(a.start, a.end, a.time) < std::tie(b.start, b.end, b.time);
}

TagIdentity identity_of(const UnplacedTag& u) { return {u.start, u.end, u.time}; }

struct IdentityHash {
  size_t operator()(const TagIdentity& id) const {
    uint64_t h = static_cast<uint32_t>(id.start);
    h = h * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(id.end);
    h = h * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(id.time);
    return static_cast<size_t>(h ^ (h >> 29));
  }
};
using IdentitySet = std::unordered_set<TagIdentity, IdentityHash>;

// TagList order: start ascending, longer range first, newest first.
bool in_list_order(const std::unique_ptr<Tag>& a, const std::unique_ptr<Tag>& b) {
  if (a->start != b->start) return a->start < b->start;
  if (a->end != b->end) return a->end > b->end;
  return a->time > b->time;
}

// Every Tag of the list goes through `reshape` (which may give it a new range, or answer
// false to take it out), `extra` join them, and the list is made again in its order, twins
// left out: one pass and one sort, where a Tag at a time would cost a walk of the list each.
template <class Reshape>
void rebuild(TagList& list, Reshape reshape, std::vector<std::unique_ptr<Tag>> extra) {
  std::vector<std::unique_ptr<Tag>> tags;
  tags.reserve(list.size() + extra.size());
  for (TagNode* n = list.head(); n; n = n->next.get())
    if (reshape(*n->tag)) tags.push_back(std::move(n->tag));
  list.clear();
  for (std::unique_ptr<Tag>& tag : extra)
    if (tag) tags.push_back(std::move(tag));
  std::stable_sort(tags.begin(), tags.end(), in_list_order);
  const Tag* last = nullptr;
  for (std::unique_ptr<Tag>& tag : tags) {
    if (last && same_identity(*last, *tag)) continue;
    last = tag.get();
    list.append_tag(std::move(tag));
  }
}

std::vector<std::unique_ptr<Tag>> copies(const std::vector<std::unique_ptr<Tag>>& tags) {
  std::vector<std::unique_ptr<Tag>> out;
  out.reserve(tags.size());
  for (const std::unique_ptr<Tag>& tag : tags) out.push_back(copy_tag(*tag));
  return out;
}

// The record Redo would make next.
const HistoryRecord* next_record(const TagHistory& history) {
  return history.current() ? history.current()->next.get() : history.head();
}

}  // namespace

int TagDocument::open(const Reader& read) {
  const int result = read(list_, unplaced_);
  if (result != 0) return result;
  std::sort(unplaced_.begin(), unplaced_.end(), unplaced_before);
  normalize_styles_for_document(list_);
  history_ = std::make_unique<TagHistory>(-1);
  unsaved_ = false;
  return 0;
}

int TagDocument::save(const std::string& path, std::optional<ViewTop> top,
                      std::vector<char>* written) {
  if (top) {
    list_.top_line = top->line;
    list_.top_column = top->column;
  }
  if (write_tag_file(list_, path.c_str(), written) != 0) return -1;
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
    case FOLLOW:
      if (record->follow) apply_follow(*record->follow, false, change);
      history.step_back();
      break;
    case FORGET:
      insert_unplaced(record->unplaced.get());
      history.step_back();
      change.unplaced = true;
      break;
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
    case FOLLOW:
      if (record->follow) apply_follow(*record->follow, true, change);
      break;
    case FORGET:
      erase_unplaced(record->unplaced.get());
      change.unplaced = true;
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

// One Tag of a bulk move, recorded as an edit pair joined to whatever the step did before.
bool TagDocument::move_one(const TagMove& move, TagChange& change) {
  if (move.start >= move.end) return false;
  const TagNode* node = list_.find_identity(move.tag);
  if (!node) return false;
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
  return true;
}

TagChange TagDocument::move_tags(const std::vector<TagMove>& moves) {
  TagChange change;
  for (const TagMove& move : moves) move_one(move, change);
  change.tags = change.history = change.made;
  return finish(std::move(change));
}

TagChange TagDocument::follow_text(TextFollowing following) {
  TagChange change;
  std::unordered_map<TagIdentity, const Tag*, IdentityHash> present;
  present.reserve(list_.size());
  for (const TagNode* n = list_.head(); n; n = n->next.get())
    present.emplace(identity_of(*n->tag), n->tag.get());
  auto record = std::make_unique<FollowRecord>();
  for (const TagMove& move : following.moves)
    if (move.start < move.end && present.count(move.tag)) record->moves.push_back(move);
  for (UnplacedTag& unplaced : following.taken_out) {
    const auto found = present.find(identity_of(unplaced));
    if (found == present.end()) continue;
    record->taken_out.push_back(copy_tag(*found->second));
    record->unplaced.push_back(std::move(unplaced));
  }
  for (std::unique_ptr<Tag>& tag : following.added)
    if (tag && tag->start < tag->end) record->added.push_back(std::move(tag));
  if (record->moves.empty() && record->taken_out.empty() && record->added.empty()) return change;
  apply_follow(*record, true, change);
  history_->add_action(FOLLOW, nullptr, false, nullptr, std::move(record));
  change.made = change.tags = change.history = true;
  return finish(std::move(change));
}

void TagDocument::apply_follow(const FollowRecord& record, bool forward, TagChange& change) {
  // Forward: moved Tags are found by their old identity, taken-out ones leave, added ones
  // come. Back: moved Tags are found by their new identity, added ones leave, taken-out
  // ones come back.
  std::unordered_map<TagIdentity, TextRange, IdentityHash> ranges;
  ranges.reserve(record.moves.size());
  for (const TagMove& move : record.moves) {
    const TagIdentity moved{move.start, move.end, move.tag.time};
    if (forward) {
      ranges.emplace(move.tag, TextRange{move.start, move.end});
    } else {
      ranges.emplace(moved, TextRange{move.tag.start, move.tag.end});
    }
    change.repaint.push_back({move.tag.start, move.tag.end});
    change.repaint.push_back({move.start, move.end});
  }
  const auto& leaving = forward ? record.taken_out : record.added;
  const auto& coming = forward ? record.added : record.taken_out;
  IdentitySet gone;
  gone.reserve(leaving.size());
  for (const std::unique_ptr<Tag>& tag : leaving) {
    gone.insert(identity_of(*tag));
    repaint(change, tag.get());
  }
  for (const std::unique_ptr<Tag>& tag : coming) repaint(change, tag.get());
  rebuild(
      list_,
      [&](Tag& tag) {
        const TagIdentity id = identity_of(tag);
        if (gone.count(id)) return false;
        const auto moved = ranges.find(id);
        if (moved != ranges.end()) {
          tag.start = moved->second.start;
          tag.end = moved->second.end;
        }
        return true;
      },
      copies(coming));

  if (record.unplaced.empty()) return;
  change.unplaced = true;
  if (forward) {
    unplaced_.insert(unplaced_.end(), record.unplaced.begin(), record.unplaced.end());
    std::stable_sort(unplaced_.begin(), unplaced_.end(), unplaced_before);
  } else {
    IdentitySet back;
    for (const UnplacedTag& u : record.unplaced) back.insert(identity_of(u));
    unplaced_.erase(
        std::remove_if(unplaced_.begin(), unplaced_.end(),
                       [&](const UnplacedTag& u) { return back.count(identity_of(u)); }),
        unplaced_.end());
  }
}

TagChange TagDocument::place_unplaced(size_t index, int32_t start, int32_t end) {
  TagChange change;
  if (index >= unplaced_.size() || start >= end) return change;
  const UnplacedTag& record = unplaced_[index];
  auto tag = make_tag(start, end, record.style, record.time, record.note);
  history_->add_action(FORGET, nullptr, false, std::make_unique<UnplacedTag>(record));
  unplaced_.erase(unplaced_.begin() + static_cast<std::ptrdiff_t>(index));
  change.repaint.push_back({start, end});
  auto copy = copy_tag(*tag);
  list_.insert_tag(tag);
  history_->add_action(ADD, std::move(copy), true);
  change.made = change.tags = change.history = change.unplaced = true;
  return finish(std::move(change));
}

TagChange TagDocument::forget_unplaced(size_t index) {
  TagChange change;
  if (index >= unplaced_.size()) return change;
  history_->add_action(FORGET, nullptr, false, std::make_unique<UnplacedTag>(unplaced_[index]));
  unplaced_.erase(unplaced_.begin() + static_cast<std::ptrdiff_t>(index));
  change.made = change.history = change.unplaced = true;
  return finish(std::move(change));
}

void TagDocument::insert_unplaced(const UnplacedTag* record) {
  if (!record) return;
  unplaced_.insert(std::upper_bound(unplaced_.begin(), unplaced_.end(), *record, unplaced_before),
                   *record);
}

void TagDocument::erase_unplaced(const UnplacedTag* record) {
  if (!record) return;
  const auto same = [&](const UnplacedTag& u) {
    return u.start == record->start && u.end == record->end && u.time == record->time;
  };
  const auto found = std::find_if(unplaced_.begin(), unplaced_.end(), same);
  if (found != unplaced_.end()) unplaced_.erase(found);
}

}  // namespace gm
