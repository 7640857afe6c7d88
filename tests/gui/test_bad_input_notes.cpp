// Notes the toolkit would stumble over: bytes that are not UTF-8 (its text widgets then lose
// the cursor and draw stray bytes as other characters) and notes of 10 MB. Every place a
// note reaches a widget (tip window, Tag properties, Edit tag, tag browser) gets valid UTF-8
// with U+FFFD in place of each stray byte; the stored note keeps its bytes.

// clang-format off
// gtest before the toolkit: the X headers define None and Bool.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Text_Buffer.H>

#include <string>

#include "bad_input_support.h"
#include "gui_support.h"
#include "tags/tag_file.h"
#include "ui/hover.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

const char* const kText = "alpha beta gamma delta\n";  // alpha [0,5) beta [6,10) gamma [11,16)

// Stray bytes of every kind: a lone lead byte, a cut sequence, bytes that never begin one,
// lone continuation bytes, an encoded surrogate and a code point past U+10FFFF.
const std::string kBadNote =
    "caf\xE9 \xC3 \xE2\x82 \xFF\xFE \x80\x80 \xED\xA0\x80 \xF4\x90\x80\x80 ok\n\x80 second";
const std::string kR = "\xEF\xBF\xBD";  // U+FFFD
// What fl_utf8test() lets through stays (the surrogate is one of those).
const std::string kShown = "caf" + kR + " " + kR + " " + kR + kR + " " + kR + kR + " " + kR + kR +
                           " \xED\xA0\x80 " + kR + kR + kR + kR + " ok\n" + kR + " second";

class BadNotes : public AppTest {
 protected:
  void open(const std::vector<TagData>& tags) {
    path_ = dir_.document("doc.txt", kText, tags);
    load(path_);
  }
  void pick(const char* item, int32_t at) { pick_tag_item(item, at); }
  TagDialog* dialog() { return dynamic_cast<TagDialog*>(a().dialogs.open_dialog()); }
  void double_click(int line) {
    Fl_Hold_Browser& chooser = dialog()->chooser();
    chooser.select(line, 1);
    Fl::event_clicks(0);
    chooser.do_callback();
    Fl::event_clicks(1);
    chooser.do_callback();
    Fl::event_clicks(0);
  }
  void close() {
    if (a().dialogs.open_dialog()) a().dialogs.open_dialog()->do_callback();
    Fl::check();
  }
  std::string tip_text(Fl_Double_Window* tip) {
    auto* output = tip ? dynamic_cast<Fl_Multiline_Output*>(tip->child(0)) : nullptr;
    return output ? output->value() : "<no tip>";
  }
  // The note of the Tag at `position` as the tag file keeps it after a save and a reload.
  std::string saved_note(int32_t position) {
    EXPECT_EQ(a().commands.save_tags(), 0);
    TagList reread;
    EXPECT_EQ(read_tag_file(reread, tag_file_name(path_).c_str()), 0);
    const TagNode* node = reread.find_tag_at(position);
    return node ? std::string(node->tag->note()) : "<no tag>";
  }
  std::string path_;
};

TEST_F(BadNotes, StrayBytesAreShownAsReplacementsEverywhere) {
  open({{0, 5, 'B', 100, kBadNote}});
  ToolkitWarnings warnings;

  Fl_Double_Window* tip = a().view.hover().show_tip(50, 50, tags().head()->tag->text.get());
  EXPECT_EQ(tip_text(tip), kShown);
  Fl::flush();

  ::testing::internal::CaptureStdout();  // a dialog's closing says "ok"
  pick("Tag properties", 2);
  ASSERT_NE(dialog(), nullptr);
  const std::string properties = contents(dialog()->note());
  EXPECT_EQ(properties.substr(0, kShown.size()), kShown);
  EXPECT_TRUE(valid_utf8(properties));
  Fl::flush();
  close();

  pick("Edit tag", 2);
  ASSERT_NE(dialog(), nullptr);
  EXPECT_EQ(contents(dialog()->note()), kShown);
  Fl::flush();
  close();
  ::testing::internal::GetCapturedStdout();

  a().sidebar.list_tags();
  ASSERT_EQ(a().sidebar.browser().size(), 1);
  const std::string line = a().sidebar.browser().text(1);
  EXPECT_TRUE(valid_utf8(line)) << line;
  EXPECT_NE(line.find("caf" + kR), std::string::npos) << line;
  EXPECT_TRUE(warnings.sync().empty()) << warnings.first();

  EXPECT_EQ(saved_note(2), kBadNote);  // showing it changed nothing
  a().view.hover().show_tip(0, 0, nullptr);
}

TEST_F(BadNotes, AnEditKeepsTheNoteBytesUnlessTheNoteWasChanged) {
  open({{0, 5, 'B', 100, kBadNote}});
  a().view.text().select(0, 10);  // a new range and a new style, the note left alone
  pick("Edit tag", 2);
  double_click(11);
  ASSERT_NE(tags().find_tag_at(8), nullptr);
  EXPECT_EQ(tags().find_tag_at(8)->tag->note(), kBadNote);
  EXPECT_EQ(tags().find_tag_at(8)->tag->style, 'K');

  // A changed note is the text the user sees and edits.
  pick("Edit tag", 2);
  dialog()->note().append(" more");
  double_click(3);
  EXPECT_EQ(tags().find_tag_at(8)->tag->note(), kShown + " more");
  EXPECT_EQ(saved_note(8), kShown + " more");
}

TEST_F(BadNotes, TenMegabyteNotesOpenInEveryView) {
  const std::string one_line(10'000'000, 'n');
  std::string many_lines;
  while (many_lines.size() < 10'000'000) many_lines += std::string(99, 'm') + "\n";
  open({{0, 5, 'B', 100, one_line}, {6, 10, 'K', 101, many_lines}});
  ToolkitWarnings warnings;

  for (const int32_t position : {2, 8}) {
    Fl_Double_Window* tip = a().view.hover().show_tip(30, 40, tags().find_tag_at(position)->tag->text.get());
    ASSERT_NE(tip, nullptr);
    // A window cannot be larger than X allows; the tip keeps to the screen.
    EXPECT_LE(tip->w(), Fl::w());
    EXPECT_LE(tip->h(), Fl::h());
    EXPECT_GT(tip->w(), 100);
    Fl::flush();
    EXPECT_TRUE(warnings.sync().empty()) << "tip at " << position << ": " << warnings.first();
    a().view.hover().show_tip(0, 0, nullptr);

    ::testing::internal::CaptureStdout();
    pick("Tag properties", position);
    ASSERT_NE(dialog(), nullptr);
    EXPECT_EQ(dialog()->note().length(),
              static_cast<int>(tags().find_tag_at(position)->tag->note().size() +
                               std::string("\nlatest update: ").size() + 25));
    Fl::flush();
    close();
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(warnings.sync().empty())
        << "properties at " << position << ": " << warnings.first();
  }

  a().sidebar.list_tags();
  ASSERT_EQ(a().sidebar.browser().size(), 2);
  EXPECT_LT(std::string(a().sidebar.browser().text(1)).size(), 32768u);
  Fl::flush();
  EXPECT_TRUE(warnings.sync().empty()) << warnings.first();
  EXPECT_EQ(saved_note(2), one_line);
  EXPECT_EQ(saved_note(8), many_lines);
}

}  // namespace
}  // namespace gm::testing
