#include "gui_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>

#include <cstdlib>
#include <fstream>

#include "app/commands.h"
#include "app/main_window.h"
#include "tags/tag_file.h"

namespace gm::testing {

std::string contents(Fl_Text_Buffer& buffer) {
  char* text = buffer.text();
  std::string copy(text);
  free(text);
  return copy;
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
  app_ = std::make_unique<App>();
  app_->ask = questions_.function();
  app_->exit_process = [](int code) { ADD_FAILURE() << "the program would exit with " << code; };
  build_main_window(*app_);
  create_file_chooser(*app_);
}

void AppTest::TearDown() {
  app_.reset();
  Fl::flush();
}

void AppTest::load(const std::string& path) {
  ASSERT_EQ(open_document(*app_, path.c_str()), 0);
  init_open(*app_);
}

}  // namespace gm::testing
