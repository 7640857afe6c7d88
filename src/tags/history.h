// The TagHistory: the records behind undo and redo of the tag editing commands (TagDocument
// replays them). One record per action, each with a private copy of the Tag concerned, in a
// doubly linked list with a current position.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tags/anchor_file.h"
#include "tags/tag.h"

namespace gm {

// Action codes; 2 is not used. An edit is the pair EDIT_OLD, EDIT_NEW, undone and redone
// as one step. FOLLOW is every change of one re-anchoring (a FollowRecord, no payload);
// FORGET drops an unplaced record (removed for good, or placed by hand with an ADD).
constexpr int32_t ADD = 0;
constexpr int32_t REMOVE = 1;
constexpr int32_t EDIT_OLD = 3;
constexpr int32_t EDIT_NEW = 4;
constexpr int32_t FOLLOW = 5;
constexpr int32_t FORGET = 6;

// One Tag of a bulk move: the Tag of that identity takes the range [start, end).
struct TagMove {
  TagIdentity tag;
  int32_t start;
  int32_t end;
};

// The Tags of a document edited elsewhere following their text, kept whole so that it is
// undone and redone in one pass over the list, however many Tags it moved.
struct FollowRecord {
  std::vector<TagMove> moves;
  std::vector<std::unique_ptr<Tag>> taken_out;  // copies, as they were in the list
  std::vector<UnplacedTag> unplaced;            // their records, in the same order
  std::vector<std::unique_ptr<Tag>> added;      // copies
};

struct HistoryRecord {
  int32_t action = ADD;
  std::unique_ptr<Tag> payload;         // a copy, never the Tag that lives in the TagList
  std::unique_ptr<UnplacedTag> unplaced;  // FORGET: the unplaced record concerned
  std::unique_ptr<FollowRecord> follow;   // FOLLOW
  std::unique_ptr<HistoryRecord> next;  // the next newer record
  HistoryRecord* prev = nullptr;        // the next older record
  bool joined = false;  // undone and redone in one step with the step before it

  HistoryRecord(int32_t code, std::unique_ptr<Tag> tag) : action(code), payload(std::move(tag)) {}
  // Frees the newer records one by one: a long history must not recurse.
  ~HistoryRecord();
  HistoryRecord(const HistoryRecord&) = delete;
  HistoryRecord& operator=(const HistoryRecord&) = delete;
};

class TagHistory {
public:
  // limit: most records kept; 0 records nothing, negative means no limit.
  explicit TagHistory(int32_t limit = -1) : m_limit(limit) {}
  TagHistory(const TagHistory&) = delete;
  TagHistory& operator=(const TagHistory&) = delete;

  // Makes the action the current record, dropping every undone one first. With a limit of 0
  // nothing is recorded and payload stays with the caller; otherwise it is taken (left null).
  // A joined action is undone and redone together with the step before it.
  void add_action(int32_t action, std::unique_ptr<Tag>&& payload, bool joined = false,
                  std::unique_ptr<UnplacedTag> unplaced = nullptr,
                  std::unique_ptr<FollowRecord> follow = nullptr);

  bool can_undo() const { return m_head && m_current; }
  bool can_redo() const;
  // Both answer the new current record, or null when they could not move (step_back also
  // answers null when it stepped back past the oldest record).
  HistoryRecord* step_back();
  HistoryRecord* step_forward();

  // Diagnostics. current_index: position of the current record from the oldest, -1 when
  // none is current, -2 when the current record is not in the list.
  int32_t current_index() const;
  void print_history() const;

  int32_t limit() const { return m_limit; }
  int32_t count() const { return m_count; }
  const HistoryRecord* head() const { return m_head.get(); }
  const HistoryRecord* current() const { return m_current; }

private:
  void drop_all();
  void drop_after_current();
  void enforce_limit();

  friend struct TagHistoryTestAccess;  // lets tests break the invariants on purpose

  int32_t m_limit;
  int32_t m_count = 0;
  std::unique_ptr<HistoryRecord> m_head;  // the oldest record
  HistoryRecord* m_current = nullptr;     // the action Undo takes back next
};

}  // namespace gm
