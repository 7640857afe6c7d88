// The faster routes of the painting and listing code against the plain ones they replace, on
// random inputs: bytes rewritten in place against the toolkit's replace, a repaint that
// writes only what changes against a repaint of the whole stretch, the list of all Tags
// against lines formatted anew, the tag browser's walk against one from the head, and the
// load's painting on a second thread against a lookup per byte, and the Editor's drawing
// and mapping of long lines against the toolkit's.
// clang-format off
// gtest first: X11 headers define None and Bool as macros.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gui_support.h"
#include "tags/styles.h"
#include "tags/tag_file.h"
#include "ui/editor.h"
#include "ui/fl_memory.h"
#include "ui/sidebar.h"
#include "ui/view.h"
#include "ui/whole_buffer.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

int pick(std::mt19937& rng, int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }

std::string random_letters(std::mt19937& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('A' + pick(rng, 58));
  return s;
}

// Everything a buffer tells its callbacks, in order.
struct Log {
  std::vector<std::string> events;
};
void log_modify(int pos, int inserted, int deleted, int restyled, const char* text, void* log) {
  static_cast<Log*>(log)->events.push_back(
      "modify " + std::to_string(pos) + " +" + std::to_string(inserted) + " -" +
      std::to_string(deleted) + " ~" + std::to_string(restyled) + " " +
      (text ? std::string(text, static_cast<size_t>(deleted)) : "<null>"));
}
void log_predelete(int pos, int deleted, void* log) {
  static_cast<Log*>(log)->events.push_back("predelete " + std::to_string(pos) + " " +
                                           std::to_string(deleted));
}

// The buffer's gap goes where the toolkit's own edits leave it.
void move_gap(Fl_Text_Buffer& buffer, int pos) {
  buffer.insert(pos, "x");
  buffer.remove(pos, pos + 1);
}

std::string selection_of(Fl_Text_Buffer& buffer) {
  int start = 0;
  int end = 0;
  return buffer.selection_position(&start, &end)
             ? std::to_string(start) + ".." + std::to_string(end)
             : "none";
}

TEST(FastRoutesBuffer, OverwriteDoesWhatReplaceDoes) {
  std::mt19937 rng(1);
  for (int round = 0; round < 500; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int length = 1 + pick(rng, 3000);
    const std::string initial = random_letters(rng, length);
    WholeBuffer fast;
    WholeBuffer plain;
    Log fast_log;
    Log plain_log;
    const int gap = pick(rng, length + 1);
    const int sel_start = pick(rng, length);
    const int sel_end = sel_start + pick(rng, length - sel_start + 1);
    for (auto [buffer, log] : {std::pair{&fast, &fast_log}, std::pair{&plain, &plain_log}}) {
      buffer->text(initial.c_str());
      move_gap(*buffer, gap);
      buffer->select(sel_start, sel_end);
      buffer->add_modify_callback(log_modify, log);
      buffer->add_predelete_callback(log_predelete, log);
    }
    const int pos = pick(rng, length);
    const int count = 1 + pick(rng, length - pos);
    const std::string bytes = random_letters(rng, count);
    fast.overwrite(pos, bytes.data(), count);
    plain.replace(pos, pos + count, bytes.c_str());
    EXPECT_EQ(contents(fast), contents(plain));
    EXPECT_EQ(fast_log.events, plain_log.events);
    EXPECT_EQ(selection_of(fast), selection_of(plain));
    for (auto* buffer : {&fast, &plain}) {
      buffer->remove_modify_callback(log_modify, buffer == &fast ? &fast_log : &plain_log);
      buffer->remove_predelete_callback(log_predelete, buffer == &fast ? &fast_log : &plain_log);
    }
  }
}

TEST(FastRoutesBuffer, ComparisonsSeeBothSidesOfTheGap) {
  std::mt19937 rng(2);
  for (int round = 0; round < 2000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int length = 1 + pick(rng, 200);
    // Long stretches of one byte with a few others in them.
    std::string text(static_cast<size_t>(length), 'C');
    for (int i = pick(rng, 4); i > 0; --i) text[static_cast<size_t>(pick(rng, length))] = 'D';
    WholeBuffer buffer;
    buffer.text(text.c_str());
    move_gap(buffer, pick(rng, length + 1));
    const int from = pick(rng, length + 1);
    const int to = from + pick(rng, length - from + 1);
    int first = to;
    for (int i = from; i < to; ++i) {
      if (text[static_cast<size_t>(i)] != 'C') {
        first = i;
        break;
      }
    }
    int last = from - 1;
    for (int i = to - 1; i >= from; --i) {
      if (text[static_cast<size_t>(i)] != 'C') {
        last = i;
        break;
      }
    }
    EXPECT_EQ(buffer.find_other(from, to, 'C'), first) << from << ".." << to;
    EXPECT_EQ(buffer.rfind_other(from, to, 'C'), last) << from << ".." << to;
  }
}

// Random Tags over a text, in list order or as a damaged file leaves them.
class FastRoutesApp : public AppTest {
 protected:
  void add_random_tags(std::mt19937& rng, int length, bool in_file_order) {
    CaptureStderr();  // refused twins
    for (int i = pick(rng, 10); i > 0; --i) {
      const int32_t start = pick(rng, length);
      const int32_t end = start + 1 + pick(rng, length - start);
      auto tag = make_tag(start, end, static_cast<unsigned char>('A' + pick(rng, 58)),
                          1000 + pick(rng, 40), "");
      if (in_file_order) {
        planted().append_tag(std::move(tag));
      } else {
        planted().insert_tag(tag);
      }
    }
    GetCapturedStderr();
  }
};

// The style of every byte, one lookup each.
std::string plain_paint(const TagList& tags, int32_t length) {
  std::string styles;
  for (int32_t i = 0; i < length; ++i) {
    const TagNode* node = tags.find_tag_at(i);
    styles += static_cast<char>(buffer_style(node ? node->tag->style : tags.default_style));
  }
  return styles;
}

// restyle_tag_area as the plain rule has it: grow the stretch byte by byte while a Tag
// covers the next position, look every byte up, replace the whole stretch. Answers the
// stretch's end too.
std::pair<std::string, int32_t> plain_tag_area(const TagList& tags, std::string styles,
                                               int32_t start, int32_t end) {
  const auto length = static_cast<int32_t>(styles.size());
  int32_t e = end;
  while (e < length && tags.find_tag_at(e)) ++e;
  const std::string all = plain_paint(tags, length);
  for (int32_t i = start; i < e; ++i) styles[static_cast<size_t>(i)] = all[static_cast<size_t>(i)];
  return {styles, e};
}

TEST_F(FastRoutesApp, RepaintWritesOnlyWhatChanges) {
  std::mt19937 rng(3);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    planted().clear();
    const int length = 1 + pick(rng, 120);
    a().view.text().text(std::string(static_cast<size_t>(length), 't').c_str());
    add_random_tags(rng, length, round % 2 == 1);
    planted().default_style = static_cast<unsigned char>('A' + pick(rng, 3));
    // Styles that disagree with the Tags here and there, as the default style exchange
    // leaves them, or that agree everywhere; and the gap anywhere.
    CaptureStdout();  // twins make the lookup complain
    const std::string before =
        round % 3 == 0 ? plain_paint(tags(), length) : random_letters(rng, length);
    a().view.styles().text(before.c_str());
    // XX move_gap(a().view.styles(), pick(rng, length + 1));

    const int32_t start = pick(rng, length);
    const int32_t end = start + pick(rng, length - start + 1);
    const auto [expected, stretch_end] = plain_tag_area(tags(), before, start, end);
    Log log;
    a().view.styles().add_modify_callback(log_modify, &log);
    restyle_tag_area(a().view.styles(), tags(), start, end);
    a().view.styles().remove_modify_callback(log_modify, &log);
    GetCapturedStdout();

    EXPECT_EQ(styles(), expected);
    // One rewrite of the stretch that differs, none when nothing does.
    if (start < stretch_end && before != expected) {
      ASSERT_EQ(log.events.size(), 1u);
      EXPECT_EQ(log.events[0].find(" +0 "), std::string::npos) << log.events[0];
    } else {
      EXPECT_TRUE(log.events.empty());
    }
  }
}

// A change of the tag model repaints its own ranges and what a default style exchange left
// stale in reach of them; the plain rule paints each range to the end of its tagged stretch.
// Both on random lists (in order, and out of it as a damaged file leaves them) and changes,
// the exchange included, and bulk moves that make many ranges.
TEST_F(FastRoutesApp, ChangesRepaintWhatPaintingEachTaggedStretchPaints) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int length = 1 + pick(rng, round % 4 == 0 ? 3000 : 150);
    const auto random_range = [&](int32_t& start, int32_t& end) {
      start = pick(rng, length);
      end = start + 1 + pick(rng, std::min(length - start, pick(rng, 4) ? 30 : length));
    };
    const auto random_style = [&] { return static_cast<unsigned char>('A' + pick(rng, 4)); };
    const std::string path = dir_.document("doc" + std::to_string(round) + ".txt",
                                           std::string(static_cast<size_t>(length), 'r'));
    TagList file;
    for (int i = pick(rng, length > 150 ? 150 : 40); i > 0; --i) {
      int32_t start = 0;
      int32_t end = 0;
      random_range(start, end);
      auto tag = make_tag(start, end, random_style(), 1000 + i, "");
      if (round % 2 == 0) {
        file.insert_tag(tag);
      } else {
        file.append_tag(std::move(tag));  // in no order, as a damaged file has them
      }
    }
    ASSERT_EQ(write_tag_file(file, (path + ".tag").c_str()), 0);
    CaptureStdout();  // twins make the lookup complain
    CaptureStderr();  // and the list refuse them
    load(path);
    std::string expected = styles();
    TagDocument& model = a().document.tags;
    int step = 0;
    for (; step < 60 && styles() == expected; ++step) {
      int32_t start = 0;
      int32_t end = 0;
      random_range(start, end);
      const int32_t time = 5000 + step;
      TagChange change;
      switch (pick(rng, 8)) {
        case 0:
        case 1:
          change = model.add(make_tag(start, end, random_style(), time, ""));
          break;
        case 2:
          change = model.remove_at(start);
          break;
        case 3:
          change = model.edit(start, make_tag(start, end, random_style(), time, ""));
          break;
        case 4:
          change = model.undo();
          break;
        case 5:
          change = model.redo();
          break;
        case 6:
          change = model.set_default_style(random_style());
          break;
        default: {
          std::vector<TagMove> moves;
          for (const TagNode* n = tags().head(); n; n = n->next.get()) {
            if (pick(rng, 2)) continue;
            start = pick(rng, length);  // short: many ranges apart
            moves.push_back({identity_of(*n->tag), start, std::min(length, start + 4)});
          }
          change = model.move_tags(moves);
        }
      }
      for (const TextRange& range : change.repaint)
        expected = plain_tag_area(tags(), expected, range.start, range.end).first;
      if (change.style_swap)
        std::replace(expected.begin(), expected.end(),
                     static_cast<char>(buffer_style(change.style_swap->from)),
                     static_cast<char>(change.style_swap->to));
    }
    GetCapturedStderr();
    GetCapturedStdout();
    ASSERT_EQ(styles(), expected) << "step " << step;
  }
}

// A change whose repaint finds every byte right already still counts as a change.
TEST_F(FastRoutesApp, ChangeThatRepaintsNothingIsStillAChange) {
  load(dir_.document("doc.txt", "0123456789", {{2, 6, 'D', 1, "note"}}));
  Log log;
  a().view.styles().add_modify_callback(log_modify, &log);
  a().document.tags.add(make_tag(3, 5, 'D', 2, ""));
  a().view.styles().remove_modify_callback(log_modify, &log);
  EXPECT_EQ(styles(), "AADDDDAAAA");
  EXPECT_TRUE(log.events.empty());
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(a().sidebar.browser().size(), 2);
}

// A browser line of the list of all Tags, formatted from its parts.
std::string plain_line(const Tag& tag) {
  const StyleEntry& e = style_entry(tag.style);
  char codes[99];
  std::snprintf(codes, sizeof codes, "@C%d@F%d@S%d@.", static_cast<int>(e.color), e.font, e.size);
  std::string line = codes;
  if (!tag.has_note()) {
    line += "<NO TAG TEXT>";
  } else {
    const std::string note(tag.note());
    line += note.substr(0, note.find('\n'));
    if (note.find('\n') != std::string::npos) line += "...";
  }
  if (line.size() > 32000) {
    size_t cut = 32000;
    while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
  }
  return line;
}

TEST_F(FastRoutesApp, ListOfAllTagsMatchesLinesMadeAnew) {
  std::mt19937 rng(4);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    planted().clear();
    for (int i = pick(rng, 30); i > 0; --i) {
      std::string note;
      switch (pick(rng, 4)) {
        case 0:
          break;
        case 1:
          note = "line one\nline two";
          break;
        case 2:
          note = random_letters(rng, pick(rng, 40));
          break;
        default:
          // Long, with two- and three-byte characters around the place of the cut.
          while (note.size() < 32010 + static_cast<size_t>(pick(rng, 20)))
            note += pick(rng, 2) ? "\xc3\xa9" : "\xe2\x80\x94";
          if (pick(rng, 2)) note += "\nmore";
      }
      auto tag = make_tag(i, i + 1, 'A', 100 + i, note);
      planted().insert_tag(tag);
    }
    // Every byte a damaged file may leave as a style.
    for (const TagNode* n = tags().head(); n; n = n->next.get())
      n->tag->style = static_cast<unsigned char>(pick(rng, 256));
    a().sidebar.list_tags();
    ASSERT_EQ(a().sidebar.browser().size(), static_cast<int>(tags().size()));
    int line = 1;
    for (const TagNode* n = tags().head(); n; n = n->next.get(), ++line) {
      EXPECT_EQ(a().sidebar.browser().text(line), plain_line(*n->tag)) << "line " << line;
      EXPECT_EQ(a().sidebar.browser().data(line), n);
    }
  }
}

// The browser finds a line's Tag by going on from the last line it looked up, or from a node
// it passed on the way; the list changes in between.
TEST_F(FastRoutesApp, TagBrowserLinesAreTheTagsOfAWalkFromTheHead) {
  std::mt19937 rng(6);
  for (int i = 0; i < 3000; ++i) {
    auto tag = make_tag(pick(rng, 100000), 100001, 'A', 100 + i, "");
    planted().insert_tag(tag);
  }
  a().sidebar.list_tags();
  const TagBrowser& browser = a().sidebar.browser();
  int line = 1;
  for (int round = 0; round < 300; ++round) {
    if (round % 50 == 49) {
      auto tag = make_tag(pick(rng, 100000), 100001, 'B', 10000 + round, "");
      planted().insert_tag(tag);
      if (pick(rng, 2)) planted().remove_tag_at(pick(rng, 100000));
    }
    const int size = static_cast<int>(tags().size());
    ASSERT_EQ(browser.size(), size);
    // Mostly short steps up and down, as scrolling makes them, now and then a jump.
    line = pick(rng, 4) == 0 ? 1 + pick(rng, size) : line + pick(rng, 61) - 30;
    line = std::max(1, std::min(size, line));
    const TagNode* plain = tags().head();
    for (int i = 1; i < line; ++i) plain = plain->next.get();
    ASSERT_EQ(browser.tag_at(line), plain) << "line " << line;
  }
  EXPECT_EQ(browser.tag_at(0), nullptr);
  EXPECT_EQ(browser.tag_at(static_cast<int>(tags().size()) + 1), nullptr);
}

TEST_F(FastRoutesApp, LoadingPaintsWhatALookupPerBytePaints) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int length = 1 + pick(rng, round % 10 == 0 ? 300000 : 500);
    std::vector<TagData> records;
    for (int i = pick(rng, 12); i > 0; --i) {
      const int32_t start = pick(rng, length);
      records.push_back({start, start + 1 + pick(rng, length - start),
                         static_cast<unsigned char>('A' + pick(rng, 58)), 1000 + i, ""});
    }
    const std::string path = dir_.document("doc" + std::to_string(round) + ".txt",
                                           std::string(static_cast<size_t>(length), 'w'), records);
    CaptureStdout();
    load(path);
    GetCapturedStdout();

    EXPECT_EQ(styles(), plain_paint(tags(), length));
    EXPECT_FALSE(unsaved());
    EXPECT_EQ(a().sidebar.browser().size(), static_cast<int>(tags().size()));
  }
}

// The Editor's route for long lines against the toolkit's whole-line walk, on random text
// (tabs, characters of one to four bytes), Tags in styles of other fonts, selections, search
// highlights, new Tags and scroll positions: the same pixels, the same position under every
// point, also after a drag of the horizontal scrollbar, and the same index built either way.
TEST_F(FastRoutesApp, LongLinesDrawAndMapAsTheToolkitDoes) {
  std::mt19937 rng(11);
  static const char* const kPieces[] = {
      "a", "W", "il", " ", "\t", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "mm", ".", "x"};
  std::string text;
  for (int line = 0; line < 7; ++line) {
    const size_t n = static_cast<size_t>(line % 2 ? pick(rng, 80) : 2000 + pick(rng, 5000));
    std::string bytes;
    while (bytes.size() < n) bytes += kPieces[pick(rng, 11)];
    text += bytes + '\n';
  }
  const int length = static_cast<int>(text.size());
  std::vector<TagData> records;
  for (int i = 0; i < 60; ++i) {
    const int32_t start = pick(rng, length);
    records.push_back({start, start + 1 + pick(rng, std::min(length - start, 600)),
                       static_cast<unsigned char>('A' + pick(rng, 58)), 1000 + i, ""});
  }
  CaptureStdout();
  load(dir_.document("long.txt", text, records));
  GetCapturedStdout();
  Editor& e = a().view.editor();
  a().window.window().show();
  a().window.window().wait_for_expose();
  Fl_Scrollbar* bar = nullptr;
  for (int i = 0; i < e.children(); ++i) {
    auto* b = dynamic_cast<Fl_Scrollbar*>(e.child(i));
    if (b && b->type() == FL_HORIZONTAL) bar = b;
  }
  ASSERT_NE(bar, nullptr);
  const auto shot = [&] {
    e.redraw();
    Fl::flush();
    XSync(fl_display, False);
    a().window.window().make_current();
    std::vector<unsigned char> rgb(static_cast<size_t>(e.w()) * e.h() * 3);
    fl_read_image(rgb.data(), e.x(), e.y(), e.w(), e.h());
    return rgb;
  };
  const auto positions = [&] {
    std::vector<int> found;
    for (int y = e.y() - 2; y < e.y() + e.h(); y += 5)
      for (int x = e.x() - 2; x < e.x() + e.w(); x += 11) found.push_back(e.position_at(x, y));
    return found;
  };
  // The index built in one tight pass over the bytes is the one the walk builds.
  const auto index_built_either_way = [&] {
    int compared = 0;
    for (int row = 0; row < 20; ++row) {
      const auto quick = e.long_line_index(row, false);
      EXPECT_EQ(quick, e.long_line_index(row, true)) << "row " << row;
      compared += !quick.empty();
    }
    return compared > 0;
  };
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int from = pick(rng, length);
    // A new Tag repaints styles the index has measured in other fonts.
    if (round % 3 == 2) {
      a().document.tags.add(make_tag(from, from + 1 + pick(rng, 2000),
                                     static_cast<unsigned char>('A' + pick(rng, 58)), 2000 + round,
                                     ""));
    }
    a().view.text().select(from, from + pick(rng, std::min(length - from, 3000)));
    if (round % 3 == 0)
      a().view.text().highlight(pick(rng, length / 2), length / 2 + pick(rng, 900));
    const int offset = round == 1 ? static_cast<int>(bar->maximum())
                                  : pick(rng, static_cast<int>(bar->maximum()) + 1);
    e.long_line_bytes(INT_MAX);
    e.scroll(1, offset);
    const std::vector<unsigned char> plain = shot();
    const std::vector<int> plain_positions = positions();
    e.long_line_bytes(1000);
    EXPECT_TRUE(shot() == plain);
    EXPECT_EQ(positions(), plain_positions);
    EXPECT_TRUE(index_built_either_way());
    // The same place reached by the scrollbar, which the Editor follows itself.
    e.scroll(1, 0);
    if (offset > 100) {
      EXPECT_FALSE(shot() == plain) << "the pixels did not follow the scroll";
    }
    bar->value(offset);
    bar->do_callback();
    EXPECT_TRUE(shot() == plain);
    a().view.text().unhighlight();
  }
  // Also with the styles' gap among the bytes of a piece.
  for (int round = 0; round < 5; ++round) {
    move_gap(a().view.styles(), pick(rng, length + 1));
    EXPECT_TRUE(index_built_either_way());
  }
}

}  // namespace
}  // namespace gm::testing
