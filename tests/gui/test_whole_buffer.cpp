// Whole-content replacement must look to the toolkit's display exactly like the toolkit's
// own text(): same content, same notifications, same line bookkeeping.
// gtest first: X11 headers define None and Bool as macros.
#include <gtest/gtest.h>

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Display.H>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/reader.h"
#include "ui/whole_buffer.h"

namespace gm {
namespace {

struct Change {
  int pos, inserted, deleted, restyled;
  std::string deleted_text;
};

void record(int pos, int inserted, int deleted, int restyled, const char* text, void* arg) {
  static_cast<std::vector<Change>*>(arg)->push_back(
      {pos, inserted, deleted, restyled, text ? std::string(text, deleted) : "<null>"});
}

// Reads the line count the display keeps from its modify notifications.
class CountingDisplay : public Fl_Text_Display {
public:
  using Fl_Text_Display::Fl_Text_Display;
  int buffer_lines() const { return mNBufferLines; }
};

TEST(WholeBuffer, ReplacesLikeTextAndKeepsTheDisplayInStep) {
  Fl_Double_Window window(300, 200);
  CountingDisplay display(0, 0, 300, 200);
  window.end();
  WholeBuffer buffer;
  display.buffer(&buffer);
  std::vector<Change> changes;
  buffer.add_modify_callback(record, &changes);

  const std::string first = "one\ntwo\nthree\n";
  buffer.replace_all(first.data(), static_cast<int>(first.size()));
  EXPECT_EQ(buffer.length(), static_cast<int>(first.size()));
  EXPECT_EQ(display.buffer_lines(), 3);

  // Move the gap into the middle, select, then replace: the old text must reach the
  // callbacks whole, the selection must go.
  buffer.insert(4, "x");
  buffer.remove(4, 5);
  buffer.select(1, 6);
  const std::string second(5000, 'a');
  buffer.replace_all(static_cast<int>(second.size()), [](char* to) {
    for (int i = 0; i < 5000; ++i) to[i] = i % 100 == 99 ? '\n' : 'a';
  });
  ASSERT_FALSE(changes.empty());
  const Change& last = changes.back();
  EXPECT_EQ(last.pos, 0);
  EXPECT_EQ(last.inserted, 5000);
  EXPECT_EQ(last.deleted, static_cast<int>(first.size()));
  EXPECT_EQ(last.deleted_text, first);
  EXPECT_FALSE(buffer.selected());
  EXPECT_EQ(display.buffer_lines(), 50);
  EXPECT_EQ(buffer.count_lines(0, buffer.length()), 50);

  std::unique_ptr<char, decltype(&free)> text(buffer.text(), &free);
  EXPECT_EQ(std::string(text.get()).size(), 5000u);
  EXPECT_EQ(text.get()[99], '\n');

  // Emptying works too, and later ordinary edits still find a usable gap.
  buffer.replace_all("", 0);
  EXPECT_EQ(buffer.length(), 0);
  buffer.insert(0, "abc");
  EXPECT_EQ(buffer.length(), 3);
  display.buffer(nullptr);
}

// The document's text is shown where it lies and read elsewhere at the same time: no change
// of the buffer may write or free those bytes, and the display must see the usual changes.
TEST(WholeBuffer, SharedTextIsShownInPlaceAndNeverWritten) {
  Fl_Double_Window window(300, 200);
  CountingDisplay display(0, 0, 300, 200);
  window.end();
  const std::string words = "one\ntwo\nthree\n";
  const auto make_shared_text = [&] {
    auto text = std::make_shared<TextBlock>();
    text->resize(words.size());
    std::memcpy(text->data(), words.data(), words.size());
    return std::shared_ptr<const TextBlock>(std::move(text));
  };
  const std::shared_ptr<const TextBlock> kept = make_shared_text();
  {
    WholeBuffer buffer;
    display.buffer(&buffer);
    std::vector<Change> changes;
    buffer.add_modify_callback(record, &changes);
    buffer.replace_all(kept);
    EXPECT_EQ(buffer.address(0), kept->data());
    EXPECT_EQ(display.buffer_lines(), 3);

    // Each kind of change takes a copy first; the shared bytes stay as they were.
    buffer.insert(4, "x");
    EXPECT_EQ(take_text(buffer.text_range(0, 5), 5), "one\nx");
    buffer.replace_all(kept);
    buffer.remove(0, 4);
    buffer.replace_all(kept);
    buffer.text("other");
    buffer.replace_all(kept);
    buffer.replace_all(make_shared_text());  // the old one reaches the callbacks whole
    EXPECT_EQ(changes.back().deleted_text, words);
    EXPECT_EQ(kept->view(), words);
    display.buffer(nullptr);
    buffer.replace_all(kept);
  }  // the buffer goes, the text stays
  EXPECT_EQ(kept->view(), words);
  EXPECT_EQ(kept.use_count(), 1);
}

// The gap's end is an int: at the size limit it must not wrap around below its start.
TEST(WholeBuffer, GapStaysWholeAtTheDocumentSizeLimit) {
  struct Gap : WholeBuffer {
    int start() const { return mGapStart; }
    int end() const { return mGapEnd; }
  };
  Gap buffer;
  const int length = static_cast<int>(kMaxDocumentSize);
  buffer.replace_all(WholeBuffer::make_block(length));  // never touched: address space only
  EXPECT_EQ(buffer.length(), length);
  EXPECT_EQ(buffer.start(), length);
  EXPECT_GT(buffer.end(), buffer.start());
}

}  // namespace
}  // namespace gm
