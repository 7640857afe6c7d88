// Command line, loading (start-up path, Open through the chooser, Help), titles, the unsaved
// flag, saving and the unsaved-changes prompt, leaving, and the menu state refresh.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_utf8.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gui_support.h"
#include "tags/tag_file.h"
#include "ui/editor.h"
#include "ui/view.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

// argv as main gets it: mutable strings, program name first, a null at the end.
class Args {
public:
  explicit Args(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "glossmark");
    for (std::string& w : words_) argv_.push_back(&w[0]);
    argv_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return argv_.data(); }

private:
  std::vector<std::string> words_;
  std::vector<char*> argv_;
};

std::optional<std::string> parse(std::vector<std::string> words) {
  Args args(std::move(words));
  return read_command_line(args.argc(), args.argv());
}

std::string current_scheme() { return Fl::scheme() ? Fl::scheme() : ""; }

TEST(CommandLine, FindsThePathByBothRules) {
  EXPECT_EQ(parse({}), std::nullopt);
  EXPECT_EQ(parse({"doc.txt"}), "doc.txt");
  EXPECT_EQ(parse({"-f", "doc.txt"}), "doc.txt");
  EXPECT_EQ(parse({"a.txt", "-f", "b.txt"}), "a.txt");
  EXPECT_EQ(parse({"-f"}), std::nullopt);
  EXPECT_EQ(parse({"-f", "-f"}), "-f");
  EXPECT_EQ(parse({"-f", "a.txt", "b.txt"}), "a.txt");
  EXPECT_EQ(parse({"-scheme", "plastic", "-f", "a.txt"}), "a.txt");
}

TEST(CommandLine, ReadsOneToolkitOptionAfterThePath) {
  Fl::scheme("none");
  EXPECT_EQ(parse({"doc.txt", "-scheme", "plastic"}), "doc.txt");
  EXPECT_EQ(current_scheme(), "plastic");
  EXPECT_EQ(parse({"-f", "doc.txt", "-scheme", "gtk+"}), "doc.txt");
  EXPECT_EQ(current_scheme(), "gtk+");
  EXPECT_EQ(parse({"-sc", "plastic", "doc.txt"}), "doc.txt");
  EXPECT_EQ(current_scheme(), "plastic");
  Fl::scheme("none");
}

TEST(CommandLine, GeometryReachesTheWindowAndNoSummaryIsPrinted) {
  Args args({"-f", "doc.txt", "-g", "640x480+10+20"});
  EXPECT_EQ(read_command_line(args.argc(), args.argv()), "doc.txt");
  Fl_Double_Window window(800, 600);
  window.end();
  CaptureStderr();
  window.show(args.argc(), args.argv());
  Fl::flush();
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(window.w(), 640);
  EXPECT_EQ(window.h(), 480);
  window.hide();
}

// The chooser is driven as a user would: once it is up, a file is typed in and it closes.
struct ChooserPick {
  Fl_File_Chooser* chooser;
  std::string path;  // empty: cancel
  bool shown = false;
};

void pick_when_shown(void* data) {
  auto* pick = static_cast<ChooserPick*>(data);
  if (!pick->chooser->visible()) {
    Fl::repeat_timeout(0.01, pick_when_shown, data);
    return;
  }
  pick->shown = true;
  pick->chooser->value(pick->path.c_str());
  pick->chooser->hide();
}

class Loading : public AppTest {
protected:
  std::string lines_of_browser() {
    std::string all;
    for (int i = 1; i <= a().sidebar.browser().size(); ++i) {
      all += a().sidebar.browser().text(i);
      all += '\n';
    }
    return all;
  }
  void mark_unsaved() {
    set_unsaved(true);
  }
  bool run_open_command(const std::string& pick_path, std::string* out = nullptr) {
    ChooserPick chosen{a().commands.chooser(), pick_path};
    Fl::add_timeout(0.01, pick_when_shown, &chosen);
    CaptureStdout();
    pick(a().window.menu_bar(), "&File/&Open");
    const std::string printed = GetCapturedStdout();
    if (out) *out = printed;
    Fl::remove_timeout(pick_when_shown);
    return chosen.shown;
  }
};

TEST_F(Loading, StartUpLoadSetsTitleTextTagsAndClearsTheFlag) {
  EXPECT_STREQ(a().window.window().label(), "no file loaded");
  const std::string path =
      dir_.document("doc.txt", "0123456789\nsecond line\n", {{3, 8, 'C', 100, "a note"}});
  CaptureStdout();
  load(path);
  EXPECT_EQ(GetCapturedStdout(), "cut size 23\n");
  EXPECT_EQ(a().window.window().label(), path);
  EXPECT_EQ(text(), "0123456789\nsecond line\n");
  EXPECT_EQ(styles(), "AAACCCCCAAAAAAAAAAAAAAA");
  EXPECT_FALSE(unsaved());
  EXPECT_FALSE(item_active(a().window.menu_bar(), "&Edit/Undo"));
  EXPECT_FALSE(item_active(a().window.menu_bar(), "&Edit/Redo"));
}

TEST_F(Loading, TextChangeWithoutDocumentSaysModified) {
  a().view.text().text("typed");
  EXPECT_STREQ(a().window.window().label(), "modified: no file loaded");
}

TEST_F(Loading, PathThatIsNotUtf8IsShownInItsDisplayForm) {
  const std::string path = dir_.document("caf\xe9.txt", "text\n");
  load(path);
  ASSERT_TRUE(a().document.file.display_path.has_value());
  EXPECT_EQ(a().window.window().label(), *a().document.file.display_path);
  EXPECT_NE(fl_utf8test(a().window.window().label(), std::strlen(a().window.window().label())), 0);
}

TEST_F(Loading, FailedOpenKeepsWhatIsOnScreen) {
  const std::string path = dir_.document("doc.txt", "kept text\n");
  load(path);
  CaptureStderr();
  EXPECT_EQ(a().commands.open_document((dir_.path() / "missing.txt").c_str()), -1);
  EXPECT_NE(GetCapturedStderr().find("fopen:"), std::string::npos);
  a().commands.show_document();
  EXPECT_EQ(text(), "kept text\n");
  EXPECT_EQ(a().window.window().label(), path);
  EXPECT_EQ(a().document.file.path, path);
}

TEST_F(Loading, OpenCommandLoadsTheChosenFile) {
  const std::string path = dir_.document("chosen.txt", "hello chooser\n",
                                         {{0, 5, 'B', 7, ""}, {6, 13, 'K', 8, "two\nlines"}});
  std::string printed;
  ASSERT_TRUE(run_open_command(path, &printed));
  EXPECT_EQ(printed, "before open\ncut size 14\nafter open\nafter init open\n");
  EXPECT_EQ(a().document.path_to_open, path);
  EXPECT_EQ(a().window.window().label(), path);
  EXPECT_EQ(text(), "hello chooser\n");
  EXPECT_EQ(styles(), "BBBBBAKKKKKKKA");
  EXPECT_FALSE(unsaved());
  EXPECT_EQ(a().sidebar.search().mode, BrowserMode::kAllTags);
  EXPECT_EQ(lines_of_browser(), "@C88@F0@S14@.<NO TAG TEXT>\n@C56@F1@S14@.two...\n");
  EXPECT_TRUE(questions_.asked.empty());
}

TEST_F(Loading, CancelledChooserKeepsTheDocument) {
  const std::string path = dir_.document("doc.txt", "old text\n", {{0, 3, 'B', 1, ""}});
  load(path);
  std::string printed;
  ASSERT_TRUE(run_open_command("", &printed));
  EXPECT_EQ(printed, "");
  EXPECT_EQ(text(), "old text\n");
  EXPECT_EQ(a().document.file.path, path);
  EXPECT_EQ(tags().size(), 1u);
}

TEST_F(Loading, OpenCommandAsksFirstWhenTagsAreUnsaved) {
  const std::string first = dir_.document("first.txt", "first\n");
  const std::string second = dir_.document("second.txt", "second\n");
  load(first);
  mark_unsaved();
  questions_.answers = {0};  // cancel: no chooser at all
  EXPECT_FALSE(run_open_command(second));
  EXPECT_EQ(a().document.file.path, first);

  questions_.answers = {1};  // save, then choose
  EXPECT_TRUE(run_open_command(second));
  EXPECT_TRUE(std::filesystem::exists(first + ".tag"));
  EXPECT_EQ(a().document.file.path, second);
  EXPECT_EQ(questions_.asked.size(), 2u);
}

TEST_F(Loading, HelpCommandOpensHelpTxtAfterAsking) {
  const std::string help = dir_.document("help.txt", "How to use it.\n");
  a().document.help_path = help;
  const std::string path = dir_.document("doc.txt", "document\n");
  load(path);

  mark_unsaved();
  questions_.answers = {0};
  pick(a().window.menu_bar(), "&Help/Help");
  EXPECT_EQ(a().document.file.path, path);

  questions_.answers = {2};  // ignore the unsaved tags
  pick(a().window.menu_bar(), "&Help/Help");
  EXPECT_EQ(a().document.file.path, help);
  EXPECT_EQ(a().window.window().label(), help);
  EXPECT_EQ(text(), "How to use it.\n");
  EXPECT_FALSE(unsaved());
}

TEST_F(Loading, StoredViewPositionIsRestoredAndSavedAgain) {
  std::string text;
  for (int i = 1; i <= 300; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string path = dir_.document("long.txt", text, {{0, 4, 'B', 1, ""}}, 120);
  a().window.window().show();
  Fl::flush();
  load(path);
  Fl::flush();
  planted().top_line = 0;
  ASSERT_EQ(a().commands.save_tags(), 0);
  EXPECT_EQ(tags().top_line, 120);
  EXPECT_EQ(tags().top_column, 0);
  TagList reread;
  ASSERT_EQ(read_tag_file(reread, (path + ".tag").c_str()), 0);
  EXPECT_EQ(reread.top_line, 120);
}

class Painting : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    a().view.text().text("0123456789abcdef");
  }
  void add(int32_t start, int32_t end, unsigned char style, int32_t time) {
    auto tag = make_tag(start, end, style, time, "");
    ASSERT_EQ(planted().insert_tag(tag), 1);
  }
  void repaint(int32_t start, int32_t end) {
    restyle_tag_area(a().view.styles(), tags(), start, end);
  }
};

struct Notification {
  int pos, inserted, deleted;
};
void record_notification(int pos, int inserted, int deleted, int, const char*, void* log) {
  static_cast<std::vector<Notification>*>(log)->push_back({pos, inserted, deleted});
}

TEST_F(Painting, DocumentRepaintFollowsTheInnermostTag) {
  add(0, 10, 'C', 1);
  add(3, 5, 'K', 2);
  paint();
  EXPECT_EQ(styles(), "CCCKKCCCCCAAAAAA");
}

TEST_F(Painting, RangeRepaintRewritesOnlyWhatChanges) {
  paint();
  add(2, 6, 'D', 1);
  std::vector<Notification> log;
  a().view.styles().add_modify_callback(record_notification, &log);
  restyle_range(a().view.styles(), tags(), 1, 7);
  // One replace, of the bytes that change; none when nothing does.
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].pos, 2);
  EXPECT_EQ(log[0].inserted, 4);
  EXPECT_EQ(log[0].deleted, 4);
  restyle_range(a().view.styles(), tags(), 0, 16);
  EXPECT_EQ(log.size(), 1u);
  a().view.styles().remove_modify_callback(record_notification, &log);
  EXPECT_EQ(styles(), "AADDDDAAAAAAAAAA");
}

TEST_F(Painting, TagAreaGrowsRightToTheEndOfTheTaggedStretchOnly) {
  paint();
  add(0, 3, 'E', 1);   // left of the area: stays unpainted
  add(5, 12, 'K', 2);
  add(12, 14, 'D', 3);
  repaint(3, 6);
  EXPECT_EQ(styles(), "AAAAAKKKKKKKDDAA");
  add(14, 16, 'B', 4);  // up to the end of the text
  repaint(14, 16);
  EXPECT_EQ(styles(), "AAAAAKKKKKKKDDBB");
  EXPECT_EQ(a().view.styles().length(), 16);
}

TEST_F(Painting, TagChangesMarkTagsUnsavedAndRefreshTheAllTagsList) {
  paint();
  a().document.tags.add(make_tag(0, 2, 'B', 1, ""));
  EXPECT_EQ(styles(), "BBAAAAAAAAAAAAAA");
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(a().sidebar.browser().size(), 1);

  a().sidebar.search_input().value("no such text");  // search hits listed: left alone
  a().sidebar.restart_search();
  a().sidebar.stop_search();
  a().document.tags.add(make_tag(4, 6, 'B', 2, ""));
  EXPECT_EQ(a().sidebar.browser().size(), 0);
}

class Saving : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    path_ = dir_.document("doc.txt", "some text\n", {{0, 4, 'B', 1, "note"}});
    load(path_);
    set_unsaved(true);
  }
  // A document whose directory is missing: its tag file cannot be written until it exists.
  void make_unwritable() { a().document.file.path = (dir_.path() / "gone" / "doc.txt").string(); }
  bool written() const { return std::filesystem::exists(*program_->document.file.path + ".tag"); }
  void remove_tag_file() { std::filesystem::remove(*a().document.file.path + ".tag"); }

  std::string path_;
};

const char* const kFirstQuestion = "No save since last change!|cancel|save|ignore";
const char* const kFailQuestion = "Fail to save!|try one last time|ignore|cancel";

TEST_F(Saving, ConfirmUnsavedDecisionTable) {
  struct Row {
    const char* name;
    int flag;
    bool writable;
    std::vector<int> answers;
    int result;
    int questions;
    bool written;
  };
  const Row rows[] = {
      {"clean", 0, true, {}, 1, 0, false},
      {"cancel", 1, true, {0}, 0, 1, false},
      {"ignore", 1, true, {2}, 1, 1, false},
      {"save", 1, true, {1}, 1, 1, true},
      {"save fails, ignore", 1, false, {1, 1}, 1, 2, false},
      {"save fails, cancel", 1, false, {1, 2}, 0, 2, false},
      {"save fails, retry fails, cancel", 1, false, {1, 0, 2}, 0, 3, false},
      {"save fails, retry fails twice, ignore", 1, false, {1, 0, 0, 1}, 1, 4, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    a().document.file.path = path_;
    remove_tag_file();
    if (!row.writable) make_unwritable();
    set_unsaved(row.flag != 0);
    questions_.asked.clear();
    questions_.answers.assign(row.answers.begin(), row.answers.end());
    CaptureStderr();
    EXPECT_EQ(a().commands.confirm_unsaved(), row.result);
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(static_cast<int>(questions_.asked.size()), row.questions);
    if (row.questions > 0) {
      EXPECT_EQ(questions_.asked[0], kFirstQuestion);
    }
    for (size_t i = 1; i < questions_.asked.size(); ++i) {
      EXPECT_EQ(questions_.asked[i], kFailQuestion);
    }
    EXPECT_TRUE(questions_.answers.empty());
    EXPECT_EQ(written(), row.written);
    EXPECT_EQ(unsaved(), !row.written && row.flag != 0);
    if (!row.writable && row.questions > 1) {
      EXPECT_NE(errors.find("error: fail to save tag file!\n"), std::string::npos);
    }
  }
}

TEST_F(Saving, RetryThatSucceedsEndsTheQuestions) {
  make_unwritable();
  const std::filesystem::path missing = std::filesystem::path(*a().document.file.path).parent_path();
  questions_.answers = {1, 0};
  // The user fixes the problem while the second question is open.
  auto script = questions_.function();
  a().commands.ask = [&](const char* message, const char* b0, const char* b1, const char* b2) {
    if (std::string(message) == "Fail to save!") std::filesystem::create_directory(missing);
    return script(message, b0, b1, b2);
  };
  CaptureStderr();
  EXPECT_EQ(a().commands.confirm_unsaved(), 1);
  GetCapturedStderr();
  EXPECT_EQ(questions_.asked.size(), 2u);
  EXPECT_TRUE(written());
  EXPECT_FALSE(unsaved());
}

TEST_F(Saving, SaveTagCommandWritesAndClearsTheFlag) {
  remove_tag_file();
  pick(a().window.menu_bar(), "&File/&Save Tag  ");
  EXPECT_TRUE(written());
  EXPECT_FALSE(unsaved());
  TagList reread;
  ASSERT_EQ(read_tag_file(reread, (path_ + ".tag").c_str()), 0);
  ASSERT_EQ(reread.size(), 1u);
  EXPECT_EQ(reread.head()->tag->note(), "note");

  a().document.file.path.reset();
  EXPECT_EQ(a().commands.save_tags(), -1);
}

TEST_F(Saving, LeavingAsksAndThenEndsTheProcess) {
  std::vector<int> exits;
  a().commands.exit_process = [&](int code) { exits.push_back(code); };
  questions_.answers = {0};
  a().window.window().do_callback();
  EXPECT_TRUE(exits.empty());
  EXPECT_NE(a().commands.chooser(), nullptr);

  remove_tag_file();
  questions_.answers = {2};
  pick(a().window.menu_bar(), "&File/E&xit");
  EXPECT_EQ(exits, std::vector<int>{0});
  EXPECT_EQ(a().commands.chooser(), nullptr);
  EXPECT_FALSE(a().document.file.data);
  EXPECT_FALSE(written());  // "ignore" saves nothing
}

class MenuStates : public AppTest {
protected:
  bool main_active(const char* path) { return item_active(a().window.menu_bar(), path); }
  bool search_active(const char* label) {
    return item_active(a().sidebar.search_menu_button(), label);
  }
};

TEST_F(MenuStates, RefreshFollowsTheFlagAndTheSelections) {
  a().view.text().text("some document text");
  set_unsaved(true);
  a().start_timers();  // the refresh comes within 0.1 s; all items start active
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (main_active("&Edit/Cut") && std::chrono::steady_clock::now() < deadline) Fl::wait(0.02);
  EXPECT_TRUE(main_active("&File/&Save Tag  "));
  EXPECT_FALSE(main_active("&Edit/Copy"));
  EXPECT_FALSE(main_active("&Edit/Cut"));
  EXPECT_FALSE(search_active("Copy"));
  EXPECT_TRUE(search_active("Paste  "));

  set_unsaved(false);
  a().view.text().select(0, 4);
  a().window.refresh_commands();
  EXPECT_FALSE(main_active("&File/&Save Tag  "));
  EXPECT_TRUE(main_active("&Edit/Copy"));
  EXPECT_FALSE(main_active("&Edit/Cut"));

  a().view.text().unselect();
  a().sidebar.search_input().value("needle");
  a().sidebar.search_input().position(0, 3);
  a().window.refresh_commands();
  EXPECT_TRUE(main_active("&Edit/Copy"));
  EXPECT_TRUE(main_active("&Edit/Cut"));
  EXPECT_TRUE(search_active("Copy"));
  EXPECT_TRUE(search_active("Cut"));
}

TEST_F(MenuStates, TagPopupFollowsTheDocumentSelection) {
  a().view.text().text("select me");
  const char* with_selection[] = {"New tag", "Edit tag", "&Copy Text",
                                  "Open uri with external program"};
  const char* without_selection[] = {"Remove tag", "Tag properties", "Default style"};
  Fl_Menu_Button& popup = a().view.popup_button();
  a().view.text().select(0, 6);
  for (const char* i : with_selection) EXPECT_TRUE(item_active(popup, i)) << i;
  for (const char* i : without_selection) EXPECT_FALSE(item_active(popup, i)) << i;
  a().view.text().unselect();
  for (const char* i : with_selection) EXPECT_FALSE(item_active(popup, i)) << i;
  for (const char* i : without_selection) EXPECT_TRUE(item_active(popup, i)) << i;
}

TEST_F(MenuStates, UndoAndRedoFollowTheHistory) {
  const std::string path = dir_.document("doc.txt", "text\n");
  a().document.tags.add(make_tag(0, 2, 'B', 4, ""));
  ASSERT_TRUE(main_active("&Edit/Undo"));
  load(path);
  EXPECT_FALSE(main_active("&Edit/Undo"));
  a().document.tags.add(make_tag(0, 2, 'B', 5, ""));
  EXPECT_TRUE(main_active("&Edit/Undo"));
  EXPECT_FALSE(main_active("&Edit/Redo"));
}

}  // namespace
}  // namespace gm::testing
