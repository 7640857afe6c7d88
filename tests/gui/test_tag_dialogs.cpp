// The tag popup menu's commands as the user picks them, their dialogs,
// their effect on the TagList, the style buffer, the history and the menus, and a save that
// fails on its way to the disk.
#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>
// After the test framework: the X headers behind it define None.
#include <FL/Fl_Text_Editor.H>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gui_support.h"
#include "tags/tag_file.h"
#include "tags/tag_file_faults.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

// alpha [0,5) beta [6,10) gamma [11,16) delta [17,22)
const char* const kText = "alpha beta gamma delta\n";

std::string summary(const TagList& tags) {
  std::string all;
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    all += std::to_string(t.start) + "-" + std::to_string(t.end) + " " +
           static_cast<char>(t.style) + " '" + std::string(t.note()) + "';";
  }
  return all;
}

std::string ctime_of(int32_t seconds) {
  const std::time_t when = seconds;
  return std::ctime(&when);
}

class TagDialogs : public AppTest {
protected:
  void open(const std::vector<TagData>& tags = {}) {
    path_ = dir_.document("doc.txt", kText, tags);
    load(path_);
  }
  // A choice in the tag popup menu, the pointer resting on text position `at`.
  void pick(const char* item, int32_t at) { pick_tag_item(item, at); }
  TagDialog* dialog() { return dynamic_cast<TagDialog*>(a().dialogs.open_dialog()); }
  // Clicks as the toolkit reports them: a double click is a click with a count of 0, then 1.
  void click(int line, int clicks = 0) {
    Fl_Hold_Browser& chooser = dialog()->chooser();
    chooser.select(line, 1);
    Fl::event_clicks(clicks);
    chooser.do_callback();
    Fl::event_clicks(0);
  }
  void double_click(int line) {
    click(line, 0);
    click(line, 1);
  }
  std::string preview() { return contents(dialog()->preview_styles()); }
  std::string note() { return contents(dialog()->note()); }
  void undo() { a().document.tags.undo(); }
  void redo() { a().document.tags.redo(); }
  bool main_active(const char* path) { return item_active(a().window.menu_bar(), path); }
  const HistoryRecord* current() { return a().document.tags.history().current(); }

  std::string path_;
};

TEST_F(TagDialogs, NewTagDialogIsBuiltAsDescribed) {
  open();
  a().view.text().select(0, 5);
  Fl::event_clicks(1);  // a count left over from the menu pick is no double click
  pick("New tag", 2);
  Fl::event_clicks(0);
  EXPECT_EQ(a().view.popup_position(), 2);
  EXPECT_TRUE(tags().empty());
  TagDialog* d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->label(), "New tag");
  EXPECT_EQ(d->x(), 300);
  EXPECT_EQ(d->y(), 200);
  EXPECT_EQ(d->w(), 500);
  EXPECT_EQ(d->h(), 200);
  EXPECT_TRUE(d->shown());
  EXPECT_TRUE(d->non_modal());
  EXPECT_EQ(d->resizable(), d);

  Fl_Hold_Browser& chooser = d->chooser();
  EXPECT_EQ(chooser.x(), 0);
  EXPECT_EQ(chooser.w(), 200);
  EXPECT_EQ(chooser.h(), 200);
  EXPECT_EQ(chooser.size(), 58);
  EXPECT_EQ(chooser.value(), 2);  // the first New tag of a run offers 'B'
  EXPECT_STREQ(chooser.tooltip(), "Click to select.\nDouble click to apply.\nPress ESC to cancel.");

  Fl_Text_Display& view = d->note_view();
  EXPECT_NE(dynamic_cast<Fl_Text_Editor*>(&view), nullptr);
  EXPECT_EQ(view.x(), 200);
  EXPECT_EQ(view.w(), 300);
  EXPECT_EQ(view.h(), 200);
  EXPECT_EQ(view.buffer(), &d->note());
  EXPECT_STREQ(view.tooltip(), "Edit and add tag here.");
  EXPECT_EQ(note(), "");
  EXPECT_EQ(preview(), "");
}

TEST_F(TagDialogs, NewTagTakesTheSelectionAtTheDoubleClick) {
  open();
  set_unsaved(false);
  a().view.text().select(0, 5);
  pick("New tag", 2);
  dialog()->note().text("hello");
  a().view.text().select(6, 10);  // the user changes the selection while the dialog is open

  click(11);
  EXPECT_EQ(preview(), "KKKKK");
  EXPECT_EQ(a().dialogs.last_style_line(), 11);
  dialog()->note().append(" world");
  EXPECT_EQ(preview(), "KKKKK");  // the preview does not follow typing
  click(4);
  EXPECT_EQ(preview(), "DDDDDDDDDDD");
  EXPECT_TRUE(tags().empty());
  EXPECT_FALSE(main_active("&Edit/Undo"));

  TagDialog* d = dialog();
  double_click(5);
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_FALSE(d->visible());
  ASSERT_EQ(summary(tags()), "6-10 E 'hello world';");
  const Tag& tag = *tags().head()->tag;
  EXPECT_EQ(tag.textsize, 12);
  EXPECT_EQ(styles(), "AAAAAAEEEEAAAAAAAAAAAAA");
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(a().sidebar.browser().size(), 1);

  ASSERT_NE(current(), nullptr);
  EXPECT_EQ(current()->action, ADD);
  EXPECT_TRUE(same_identity(*current()->payload, tag));
  EXPECT_NE(current()->payload.get(), &tag);
  EXPECT_TRUE(main_active("&Edit/Undo"));
  EXPECT_FALSE(main_active("&Edit/Redo"));
  a().window.refresh_commands();
  EXPECT_TRUE(main_active("&File/&Save Tag  "));

  // The next New tag offers the style last double-clicked.
  a().view.text().select(11, 16);
  pick("New tag", 12);
  ASSERT_NE(dialog(), nullptr);
  EXPECT_EQ(dialog()->chooser().value(), 5);
}

TEST_F(TagDialogs, NewTagKeepsNoEmptyNoteAndNeedsASelection) {
  open();
  a().view.text().select(0, 5);
  pick("New tag", 1);
  double_click(2);
  ASSERT_EQ(tags().size(), 1u);
  EXPECT_EQ(tags().head()->tag->textsize, 0);
  EXPECT_EQ(tags().head()->tag->text, nullptr);

  pick("New tag", 1);
  dialog()->note().text("12345");
  a().view.text().select(17, 22);
  double_click(2);
  ASSERT_EQ(tags().size(), 2u);
  EXPECT_EQ(tags().head()->next->tag->textsize, 6);

  pick("New tag", 1);
  a().view.text().unselect();
  double_click(2);
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_EQ(tags().size(), 2u);
  EXPECT_EQ(a().document.tags.history().count(), 2);
}

TEST_F(TagDialogs, EditMovesTheTagAndOneUndoTakesTheWholeEditBack) {
  open({{0, 5, 'K', 100, "old note"}});
  a().view.text().select(11, 16);
  pick("Edit tag", 2);
  TagDialog* d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->label(), "Edit tag");
  EXPECT_EQ(note(), "old note");
  EXPECT_EQ(d->chooser().value(), 11);
  EXPECT_EQ(a().dialogs.last_style_line(), 11);
  EXPECT_EQ(preview(), "KKKKKKKK");  // shown in the Tag's style at once
  EXPECT_STREQ(d->chooser().tooltip(), "Click to select.\nDouble click to apply.");
  EXPECT_STREQ(d->note_view().tooltip(), "Edit the tag here.");

  d->note().text("new note");
  double_click(3);
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  ASSERT_EQ(summary(tags()), "11-16 C 'new note';");
  EXPECT_GT(tags().head()->tag->time, 100);
  EXPECT_EQ(styles(), "AAAAAAAAAAACCCCCAAAAAAA");
  ASSERT_EQ(a().document.tags.history().count(), 2);
  EXPECT_EQ(a().document.tags.history().head()->action, EDIT_OLD);
  EXPECT_EQ(a().document.tags.history().head()->payload->time, 100);
  EXPECT_EQ(current()->action, EDIT_NEW);
  EXPECT_TRUE(main_active("&Edit/Undo"));

  undo();
  EXPECT_EQ(summary(tags()), "0-5 K 'old note';");
  EXPECT_EQ(tags().head()->tag->time, 100);
  EXPECT_EQ(styles(), "KKKKKAAAAAAAAAAAAAAAAAA");
  EXPECT_FALSE(main_active("&Edit/Undo"));
  EXPECT_TRUE(main_active("&Edit/Redo"));

  redo();
  EXPECT_EQ(summary(tags()), "11-16 C 'new note';");
  EXPECT_EQ(styles(), "AAAAAAAAAAACCCCCAAAAAAA");
  EXPECT_TRUE(main_active("&Edit/Undo"));
  EXPECT_FALSE(main_active("&Edit/Redo"));
}

TEST_F(TagDialogs, EditNeedsATagThenAndStill) {
  open();
  a().view.text().select(0, 5);
  CaptureStdout();
  pick("Edit tag", 2);
  EXPECT_EQ(GetCapturedStdout(), "no tag found. use insert instead!\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);

  // The Tag goes away (Undo of its New tag) while its Edit dialog is open.
  pick("New tag", 2);
  double_click(11);
  a().view.text().select(6, 10);
  pick("Edit tag", 2);
  ASSERT_NE(dialog(), nullptr);
  undo();
  ASSERT_TRUE(tags().empty());
  CaptureStdout();
  double_click(3);
  EXPECT_EQ(GetCapturedStdout(), "no tag found. use insert instead!\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_TRUE(tags().empty());
  EXPECT_EQ(a().document.tags.history().count(), 1);
  EXPECT_EQ(current(), nullptr);
  EXPECT_EQ(styles(), "AAAAAAAAAAAAAAAAAAAAAAA");
}

TEST_F(TagDialogs, EditWithoutASelectionChangesNothing) {
  open({{0, 5, 'K', 100, "kept"}});
  a().view.text().select(6, 10);
  pick("Edit tag", 2);
  a().view.text().unselect();
  CaptureStderr();
  double_click(3);
  EXPECT_EQ(GetCapturedStderr(), "error,no selection find to edit\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_EQ(summary(tags()), "0-5 K 'kept';");
  EXPECT_EQ(a().document.tags.history().count(), 0);
}

TEST_F(TagDialogs, NestedTagsRemoveAndEditTheInnerOne) {
  open({{0, 16, 'B', 100, "outer"}, {6, 10, 'E', 101, "inner"}});
  const std::string painted = "BBBBBBEEEEBBBBBBAAAAAAA";
  ASSERT_EQ(styles(), painted);

  a().view.text().select(0, 1);
  pick("Edit tag", 7);
  ASSERT_NE(dialog(), nullptr);
  EXPECT_EQ(note(), "inner");
  CaptureStdout();
  dialog()->do_callback();
  EXPECT_EQ(GetCapturedStdout(), "ok\n");
  a().view.text().unselect();

  pick("Remove tag", 7);
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_EQ(summary(tags()), "0-16 B 'outer';");
  EXPECT_EQ(styles(), "BBBBBBBBBBBBBBBBAAAAAAA");
  ASSERT_NE(current(), nullptr);
  EXPECT_EQ(current()->action, REMOVE);
  EXPECT_EQ(current()->payload->time, 101);
  EXPECT_TRUE(main_active("&Edit/Undo"));

  undo();
  EXPECT_EQ(summary(tags()), "0-16 B 'outer';6-10 E 'inner';");
  EXPECT_EQ(tags().head()->next->tag->time, 101);
  EXPECT_EQ(styles(), painted);
  redo();
  EXPECT_EQ(summary(tags()), "0-16 B 'outer';");

  CaptureStderr();
  pick("Remove tag", 20);
  EXPECT_EQ(GetCapturedStderr(), "no tag found\n");
  EXPECT_EQ(tags().size(), 1u);
  EXPECT_EQ(a().document.tags.history().count(), 1);
}

TEST_F(TagDialogs, PropertiesShowATagReadOnly) {
  open({{0, 5, 'K', 1700000123, "a note"}, {6, 10, 'D', 1700000200, ""}});
  pick("Tag properties", 2);
  TagDialog* d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->label(), "Tag properties");
  EXPECT_EQ(dynamic_cast<Fl_Text_Editor*>(&d->note_view()), nullptr);
  EXPECT_EQ(note(), "a note\nlatest update: " + ctime_of(1700000123));
  EXPECT_STREQ(d->tooltip(), "Is tag. \nPress <ESC> to close.");
  EXPECT_EQ(d->chooser().value(), 11);
  EXPECT_EQ(a().dialogs.last_style_line(), 11);

  click(3, 1);  // clicking the chooser changes nothing
  EXPECT_EQ(d->chooser().value(), 11);
  EXPECT_EQ(a().dialogs.last_style_line(), 11);
  EXPECT_EQ(a().dialogs.open_dialog(), d);
  EXPECT_EQ(summary(tags()), "0-5 K 'a note';6-10 D '';");
  CaptureStdout();
  d->do_callback();
  EXPECT_EQ(GetCapturedStdout(), "ok\n");

  pick("Tag properties", 7);
  EXPECT_EQ(note(), "\nlatest update: " + ctime_of(1700000200));
  EXPECT_EQ(a().dialogs.last_style_line(), 4);
  CaptureStdout();
  dialog()->do_callback();
  GetCapturedStdout();

  pick("Tag properties", 20);
  EXPECT_EQ(note(), "<no tag found>\n");
  EXPECT_STREQ(dialog()->tooltip(), "Not a tag.\nPress <ESC> to close.");
  EXPECT_EQ(dialog()->chooser().value(), 0);
  EXPECT_EQ(a().dialogs.last_style_line(), 4);
}

TEST_F(TagDialogs, EscapeInTheNoteClosesWithoutApplying) {
  open();
  a().view.text().select(0, 5);
  pick("New tag", 2);
  dialog()->note().text("typed");
  click(7);
  Fl::flush();
  Fl::focus(&dialog()->note_view());
  Fl::e_keysym = FL_Escape;
  Fl::e_state = 0;
  Fl::e_text = const_cast<char*>("\033");
  Fl::e_length = 1;
  CaptureStdout();
  Fl::handle(FL_KEYBOARD, dialog());
  EXPECT_EQ(GetCapturedStdout(), "ok\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_TRUE(tags().empty());
  EXPECT_EQ(a().document.tags.history().count(), 0);
  Fl::wait(0);
}

// Help over a document with an Edit tag dialog open and text selected: the dialog goes as
// Escape takes it, so its double click cannot change the help file's Tag, and the popup
// offers what fits a text without a selection.
TEST_F(TagDialogs, ALoadClosesTheDialogAndResetsThePopup) {
  open({{6, 10, 'C', 1, "doc note"}});
  a().document.help_path = dir_.document("help.txt", kText, {{6, 10, 'K', 2, "help note"}});
  a().view.text().select(6, 10);
  pick("Edit tag", 7);
  ASSERT_NE(dialog(), nullptr);
  CaptureStdout();
  a().commands.help();
  EXPECT_EQ(GetCapturedStdout(), "ok\ncut size 23\n");
  EXPECT_EQ(a().dialogs.open_dialog(), nullptr);
  EXPECT_EQ(summary(tags()), "6-10 K 'help note';");
  EXPECT_FALSE(item_active(a().view.popup_button(), "New tag"));
  EXPECT_FALSE(item_active(a().view.popup_button(), "Edit tag"));
  EXPECT_TRUE(item_active(a().view.popup_button(), "Remove tag"));
  Fl::wait(0);
}

// Fails the chosen step of every tag file write.
TagFileStep g_failing = TagFileStep::create;
bool fail_chosen(TagFileStep step, size_t* written) {
  if (step == TagFileStep::write) *written = 12;
  return step == g_failing;
}

std::string bytes_of(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(TagDialogs, FailedSaveKeepsTheOldTagFileAndTheUnsavedFlag) {
  open({{0, 5, 'B', 100, "on disk"}});
  const std::string tag_file = path_ + ".tag";
  const std::string old_bytes = bytes_of(tag_file);
  a().view.text().select(6, 10);
  pick("New tag", 7);
  double_click(5);
  ASSERT_TRUE(unsaved());

  set_tag_file_fault(fail_chosen);
  for (TagFileStep step :
       {TagFileStep::create, TagFileStep::write, TagFileStep::fsync, TagFileStep::rename}) {
    SCOPED_TRACE(static_cast<int>(step));
    g_failing = step;
    CaptureStderr();
    EXPECT_EQ(a().commands.save_tags(), -1);
    const std::string errors = GetCapturedStderr();
    EXPECT_NE(errors.find("\nerror: fail to save tag file!\n"), std::string::npos) << errors;
    EXPECT_EQ(bytes_of(tag_file), old_bytes);
    EXPECT_TRUE(unsaved());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);
  }
  set_tag_file_fault(nullptr);

  EXPECT_EQ(a().commands.save_tags(), 0);
  EXPECT_FALSE(unsaved());
  TagList reread;
  ASSERT_EQ(read_tag_file(reread, tag_file.c_str()), 0);
  EXPECT_EQ(summary(reread), "0-5 B 'on disk';6-10 E '';");
}

}  // namespace
}  // namespace gm::testing
