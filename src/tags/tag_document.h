// The tags of the open document as one model: the TagList, its TagHistory and whether the
// tags are saved. Every change goes through one of its methods, which applies the change,
// records it for Undo, marks the tags unsaved, tells the one listener and answers what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tags/anchor_file.h"
#include "tags/history.h"
#include "tags/tag.h"

namespace gm {

struct TextRange {
  int32_t start;
  int32_t end;  // exclusive
  friend bool operator==(const TextRange& a, const TextRange& b) {
    return a.start == b.start && a.end == b.end;
  }
};

// What one change did, for whoever shows the tags.
struct TagChange {
  // Style bytes that change with the default style: every byte of `from` becomes `to`
  // (untagged text, and Tags drawn in that style until their range is painted again).
  struct StyleSwap {
    unsigned char from;
    unsigned char to;
  };

  bool made = false;  // false: nothing was done (nothing to undo, no Tag at the position)
  // Ranges of the Tags that came or went, sorted, overlapping ones merged. Painting from the
  // TagList starts at each and goes on to the end of its tagged stretch, as it always has.
  // Separate ranges stay separate: a Tag moved across the document does not repaint what
  // lies between its old and its new place.
  std::vector<TextRange> repaint;
  std::optional<StyleSwap> style_swap;
  bool tags = false;      // the TagList changed: lists of Tags must follow
  bool history = false;   // what Undo and Redo can do may have changed
  bool unplaced = false;  // the Tags that could not be placed changed
};

// Where the Tags of a document edited elsewhere went (re-anchoring), to be applied as one step.
struct TextFollowing {
  std::vector<TagMove> moves;
  // Tags whose text was not found again: the Tag of the list with the record's start, end
  // and time goes out of the list into the unplaced records.
  std::vector<UnplacedTag> taken_out;
  // Tags that fitting the list to the shorter text had dropped, placed again in it.
  std::vector<std::unique_ptr<Tag>> added;

  bool empty() const { return moves.empty() && taken_out.empty() && added.empty(); }
};

// The line and column of the text at the top of the view, kept in the tag file.
struct ViewTop {
  int32_t line;
  int32_t column;
};

class TagDocument {
 public:
  using Listener = std::function<void(const TagChange&)>;

  TagDocument() = default;
  TagDocument(const TagDocument&) = delete;
  TagDocument& operator=(const TagDocument&) = delete;

  const TagList& tags() const { return list_; }
  const TagHistory& history() const { return *history_; }
  // A flag, not the distance from the saved history: taking a change back is a change too.
  bool unsaved() const { return unsaved_; }

  // The one listener, told of every change that was made, after it was made.
  void set_listener(Listener listener) { listener_ = std::move(listener); }

  // The Tags that could not be placed, sorted by where they were: they are in no tag file,
  // only in the anchor file.
  const std::vector<UnplacedTag>& unplaced() const { return unplaced_; }

  // A newly opened document: `read` fills the list and the unplaced records (answering 0,
  // or -1 when it failed and left both alone). On success the styles are brought into the
  // drawable range, the history starts afresh and the tags count as saved. Answers what
  // read answered.
  using Reader = std::function<int(TagList&, std::vector<UnplacedTag>&)>;
  int open(const Reader& read);
  // Writes the tag file (with the top of the view when known); 0 and saved when written
  // (its bytes to *written if given), -1 otherwise.
  int save(const std::string& path, std::optional<ViewTop> top,
           std::vector<char>* written = nullptr);

  // New tag: the Tag goes into the list (a refused one is dropped, its record kept).
  TagChange add(std::unique_ptr<Tag> tag);
  // Edit tag: the Tag that rules `position` (find_tag_at) is replaced by `replacement`;
  // recorded as one EDIT_OLD, EDIT_NEW step. Nothing made when no Tag rules there.
  TagChange edit(int32_t position, std::unique_ptr<Tag> replacement);
  // Remove tag: the Tag that rules `position`. Nothing made when no Tag rules there.
  TagChange remove_at(int32_t position);
  // One step back or forward in the history (both records of an edit, every move of a bulk
  // move). Nothing made when there is no such step.
  TagChange undo();
  TagChange redo();
  // The style of untagged text.
  TagChange set_default_style(unsigned char style);
  // Many Tags take new ranges as one step of the history (each as an edit pair keeping its
  // style, note and time). Moves of Tags that are gone, or to an empty range, are left out.
  TagChange move_tags(const std::vector<TagMove>& moves);
  // The Tags follow their text: the moves, the Tags taken out and those added, one step of
  // the history, applied, undone and redone in one pass over the list (a re-anchoring may
  // move every Tag). Moves and takings out of Tags that are not there are left out.
  TagChange follow_text(TextFollowing following);
  // Unplaced record `index` becomes a Tag on [start, end) again, keeping its style, note and
  // time; nothing made for an empty range or no such record.
  TagChange place_unplaced(size_t index, int32_t start, int32_t end);
  // Unplaced record `index` goes for good (until Undo).
  TagChange forget_unplaced(size_t index);

 private:
  friend struct TagDocumentTestAccess;  // lets tests plant Tags and records

  TagChange finish(TagChange change);
  void undo_step(TagChange& change);
  void redo_step(TagChange& change);
  bool move_one(const TagMove& move, TagChange& change);
  // FOLLOW forward (redo) or back (undo).
  void apply_follow(const FollowRecord& record, bool forward, TagChange& change);
  void insert_unplaced(const UnplacedTag* record);
  void erase_unplaced(const UnplacedTag* record);

  TagList list_;
  std::unique_ptr<TagHistory> history_ = std::make_unique<TagHistory>(-1);
  std::vector<UnplacedTag> unplaced_;
  bool unsaved_ = false;
  Listener listener_;
};

}  // namespace gm
