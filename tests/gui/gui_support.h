// Shared pieces of the GUI tests: a fresh Program with its main window, temporary documents
// with tag files, a scripted question function, and menu picks as the toolkit makes them.
#pragma once

#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "ui/hover.h"

class Fl_Text_Buffer;

namespace gm {
// Puts the pointer on a text position, as the hover tick would find it there.
struct HoverTestAccess {
  static void point_at(Hover& hover, int32_t position) { hover.pointer_position_ = position; }
};
}  // namespace gm

namespace gm::testing {

// The whole content of a text buffer (the toolkit hands out a malloc'd copy).
std::string contents(Fl_Text_Buffer& buffer);

// The item at `path` ("&Edit/Undo", "New tag") picked as the user's click picks it.
void pick(Fl_Menu_& menu, const char* path);
bool item_active(Fl_Menu_& menu, const char* path);

struct TagData {
  int32_t start;
  int32_t end;
  unsigned char style;
  int32_t time;
  std::string note;  // empty: no note
};

// A private directory that goes away with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  // Writes a document and, when tags are given, its tag file; answers the document path.
  std::string document(const std::string& name, const std::string& text,
                       const std::vector<TagData>& tags = {}, int32_t top_line = 0) const;

 private:
  std::filesystem::path path_;
};

// Answers questions from a script and records what was asked.
struct ScriptedQuestions {
  std::deque<int> answers;
  std::vector<std::string> asked;  // "message|b0|b1|b2"
  QuestionFunction function();
};

// A fresh Program with the main window built (not shown).
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  Program& a() { return *program_; }
  const TagList& tags() { return program_->document.tags.tags(); }
  // The list itself, for Tags put in place without being a change (as a tag file brings
  // them); paint() then shows them.
  TagList& planted();
  void paint();
  bool unsaved() { return program_->document.tags.unsaved(); }
  void set_unsaved(bool unsaved);
  // The pointer resting on text position `at` when the tag popup menu's item is picked.
  void pick_tag_item(const char* label, int32_t at);

  // Commands::open_document, show_document and the list of all Tags, as start-up does.
  void load(const std::string& path);
  std::string text() { return contents(program_->view.text()); }
  std::string styles() { return contents(program_->view.styles()); }

  std::unique_ptr<Program> program_;
  TempDir dir_;
  ScriptedQuestions questions_;
};

}  // namespace gm::testing
