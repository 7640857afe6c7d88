#include "tags/history.h"

#include <cstdio>

namespace gm {

HistoryRecord::~HistoryRecord() {
  // Each newer record is unlinked before it dies, so its own destructor finds no chain.
  while (next) next = std::move(next->next);
}

void TagHistory::add_action(int32_t action, std::unique_ptr<Tag>&& payload, bool joined,
                            std::unique_ptr<UnplacedTag> unplaced,
                            std::unique_ptr<FollowRecord> follow) {
  if (m_limit == 0) return;

  auto record = std::make_unique<HistoryRecord>(action, std::move(payload));
  record->joined = joined;
  record->unplaced = std::move(unplaced);
  record->follow = std::move(follow);
  HistoryRecord* const added = record.get();
  if (!m_current) {
    drop_all();  // nothing recorded, or everything undone: none of it can come back
    m_head = std::move(record);
  } else {
    drop_after_current();
    record->prev = m_current;
    m_current->next = std::move(record);
  }
  m_current = added;
  ++m_count;
  enforce_limit();
}

void TagHistory::drop_all() {
  m_head.reset();
  m_current = nullptr;
  m_count = 0;
}

void TagHistory::drop_after_current() {
  while (m_current->next) {
    m_current->next = std::move(m_current->next->next);
    --m_count;
  }
}

void TagHistory::enforce_limit() {
  if (m_limit <= 0 || m_count <= m_limit) return;
  if (m_count > m_limit + 1) {
    std::fprintf(stderr, "too long. this should not happened!\n");
    return;
  }
  m_head = std::move(m_head->next);
  m_head->prev = nullptr;
  --m_count;
}

bool TagHistory::can_redo() const {
  if (!m_head) return false;
  if (!m_current) return true;  // everything undone: the oldest record comes back first
  return m_current->next != nullptr;
}

HistoryRecord* TagHistory::step_back() {
  if (!can_undo()) return nullptr;
  m_current = m_current->prev;
  return m_current;
}

HistoryRecord* TagHistory::step_forward() {
  if (!can_redo()) return nullptr;
  m_current = m_current ? m_current->next.get() : m_head.get();
  return m_current;
}

int32_t TagHistory::current_index() const {
  if (!m_current) return -1;
  int32_t index = 0;
  for (const HistoryRecord* record = m_head.get(); record; record = record->next.get()) {
    if (record == m_current) return index;
    ++index;
  }
  std::fprintf(stderr, "m_current can not found. Should not happen!\n");
  return -2;
}

void TagHistory::print_history() const {
  for (const HistoryRecord* record = m_head.get(); record; record = record->next.get()) {
    switch (record->action) {
      case ADD:
        std::puts("action=ADD");
        break;
      case REMOVE:
        std::puts("action=REMOVE");
        break;
      default:
        std::printf("action=<Unknown>:%d\n", static_cast<int>(record->action));
    }
  }
}

}  // namespace gm
