#include "gui_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>

#include <cstdlib>
#include <fstream>

#include "../unit/tags_test_support.h"
#include "tags/styles.h"
#include "tags/tag_file.h"

namespace gm::testing {

std::string contents(Fl_Text_Buffer& buffer) {
  char* text = buffer.text();
  std::string copy(text);
  free(text);
  return copy;
}

void pick(Fl_Menu_& menu, const char* path) {
  const Fl_Menu_Item* item = menu.find_item(path);
  ASSERT_NE(item, nullptr) << path;
  menu.value(item);
  menu.picked(item);
}

bool item_active(Fl_Menu_& menu, const char* path) {
  const Fl_Menu_Item* item = menu.find_item(path);
  EXPECT_NE(item, nullptr) << path;
  return item && item->active();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gm_gui_XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::document(const std::string& name, const std::string& text,
                              const std::vector<TagData>& tags, int32_t top_line) const {
  const std::string file = (path_ / name).string();
  std::ofstream(file, std::ios::binary) << text;
  if (!tags.empty() || top_line != 0) {
    TagList list;
    list.top_line = top_line;
    for (const TagData& data : tags) {
      auto tag = make_tag(data.start, data.end, data.style, data.time, data.note);
      list.insert_tag(tag);
    }
    EXPECT_EQ(write_tag_file(list, (file + ".tag").c_str()), 0);
  }
  return file;
}

QuestionFunction ScriptedQuestions::function() {
  return [this](const char* message, const char* b0, const char* b1, const char* b2) {
    asked.push_back(std::string(message) + "|" + b0 + "|" + b1 + "|" + b2);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << message;
      return 0;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  };
}

void AppTest::SetUp() {
  program_ = std::make_unique<Program>();
  program_->commands.ask = questions_.function();
  program_->commands.exit_process = [](int code) {
    ADD_FAILURE() << "the program would exit with " << code;
  };
}

void AppTest::TearDown() {
  program_.reset();
  Fl::flush();
}

TagList& AppTest::planted() { return TagDocumentTestAccess::list(program_->document.tags); }

void AppTest::paint() {
  WholeBuffer& styles = program_->view.styles();
  const int length = program_->view.text().length();
  styles.replace_all(length,
                     [this, length](char* bytes) { paint_styles(tags(), 0, length, bytes); });
}

void AppTest::set_unsaved(bool unsaved) {
  TagDocumentTestAccess::set_unsaved(program_->document.tags, unsaved);
}

void AppTest::pick_tag_item(const char* label, int32_t at) {
  HoverTestAccess::point_at(program_->view.hover(), at);
  pick(program_->view.popup_button(), label);
}

void AppTest::load(const std::string& path) {
  ASSERT_EQ(program_->commands.open_document(path.c_str()), 0);
  program_->commands.show_document();
  program_->sidebar.list_tags();
}

}  // namespace gm::testing
