// Shared pieces of the GUI tests: a fresh App with its main window, temporary documents with
// tag files, and a scripted question function.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"

class Fl_Text_Buffer;

namespace gm::testing {

// The whole content of a text buffer (the toolkit hands out a malloc'd copy).
std::string contents(Fl_Text_Buffer& buffer);

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

// A fresh App with the main window built (not shown) and the file chooser made.
class AppTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  App& a() { return *app_; }
  // open_document + init_open, as start-up does.
  void load(const std::string& path);
  std::string text() { return contents(*app_->text_buffer); }
  std::string styles() { return contents(*app_->style_buffer); }

  std::unique_ptr<App> app_;
  TempDir dir_;
  ScriptedQuestions questions_;
};

}  // namespace gm::testing
