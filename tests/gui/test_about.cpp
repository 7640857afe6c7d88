// The About box: one window for the whole run, its contents and icon, the ways to hide it,
// and its end when the program is left.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Return_Button.H>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_support.h"

namespace gm::testing {
namespace {

class AboutTest : public AppTest {
protected:
  void choose_about() { a().window.menu_bar().picked(a().window.menu_bar().find_item("&Help/About")); }
  Fl_Double_Window& about() { return *a().about.window(); }
  Fl_Box& name_box() { return *static_cast<Fl_Box*>(about().child(0)); }
  Fl_Box& notice_box() { return *static_cast<Fl_Box*>(about().child(1)); }
  Fl_Widget& close_button() { return *about().child(2); }

  int shown_about_windows() {
    int count = 0;
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) {
      if (w->label() && std::string(w->label()) == "About Glossmark") ++count;
    }
    return count;
  }
  void key(Fl_Window& window, int keysym, const char* text) {
    Fl::focus(&window);
    Fl::e_state = 0;
    Fl::e_keysym = keysym;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = 1;
    Fl::handle(FL_KEYBOARD, &window);
  }
};

TEST_F(AboutTest, OneWindowShownByEveryAbout) {
  EXPECT_EQ(a().about.window(), nullptr);
  choose_about();
  ASSERT_NE(a().about.window(), nullptr);
  Fl_Double_Window* const first = a().about.window();
  choose_about();
  EXPECT_EQ(a().about.window(), first);
  EXPECT_TRUE(about().shown());
  EXPECT_EQ(shown_about_windows(), 1);

  EXPECT_STREQ(about().label(), "About Glossmark");
  EXPECT_TRUE(about().non_modal());
  EXPECT_EQ(about().parent(), nullptr) << "a window of its own";
  ASSERT_EQ(about().children(), 3);
  EXPECT_STREQ(name_box().label(), "Glossmark 1.0\n");
  const std::string notice = notice_box().label();
  EXPECT_EQ(notice.find('\n'), notice.rfind('\n')) << "two lines";
  EXPECT_NE(notice.find('\n'), std::string::npos);
  EXPECT_NE(dynamic_cast<Fl_Return_Button*>(&close_button()), nullptr);
  EXPECT_STREQ(close_button().label(), "Close");
}

TEST_F(AboutTest, IconIsTheThirtyTwoRowPixmap) {
  const char* const r1 = "  ############################  ";
  const char* const r2 = "  ###+++++++++.....@@@.....###  ";
  const char* const r3 = "  ###...........+++++++++++###  ";
  const char* const r4 = "  ###+++++++++++++++++########  ";
  const char* const r5 = "  ###++++++++$++++++++########  ";
  const char* const r6 = "  #########$#$#$##############  ";
  const char* const r7 = "  ##########$$$###############  ";
  const char* const r8 = "  ########$$$$$$$#############  ";
  const char* const r9 = "  ###########$################  ";
  const char* const r10 = "  ###++++++++++++++++++++++###  ";
  const char* const r11 = "  ###+++++++++@@@@@@+++++++###  ";
  const char* const r12 = "  ###...++++++++++++##########  ";
  const std::vector<std::string> expected = {
      "32 32 6 1", "  c None", ". c #FF0000", "+ c #5C5B54", "@ c #3AEE52", "# c #C8C865",
      "$ c #F8FFA5", r1, r2, r2, r1, r1, r3, r3, r1, r1, r4, r5, r6, r7, r8, r7, r6, r9, r10,
      r10, r1, r1, r11, r11, r1, r1, r10, r10, r1, r1, r12, r12, r1};

  choose_about();
  const Fl_Image* icon = name_box().image();
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->w(), 32);
  EXPECT_EQ(icon->h(), 32);
  ASSERT_EQ(icon->count(), static_cast<int>(expected.size()));
  for (int i = 0; i < icon->count(); ++i) EXPECT_EQ(icon->data()[i], expected[i]) << "row " << i;
}

TEST_F(AboutTest, CloseEscapeEnterAndTheWindowCloseButtonHideIt) {
  choose_about();
  Fl_Double_Window* const window = a().about.window();

  close_button().do_callback();
  EXPECT_FALSE(window->shown()) << "Close";
  choose_about();
  EXPECT_TRUE(window->shown());

  key(*window, FL_Escape, "\033");
  EXPECT_FALSE(window->shown()) << "Escape";
  choose_about();

  key(*window, FL_Enter, "\r");
  EXPECT_FALSE(window->shown()) << "Enter";
  choose_about();

  window->do_callback();  // what the window system's close button runs
  EXPECT_FALSE(window->shown()) << "close button";
  choose_about();
  EXPECT_EQ(a().about.window(), window);
  EXPECT_TRUE(window->shown());
  EXPECT_STREQ(name_box().label(), "Glossmark 1.0\n");
}

TEST_F(AboutTest, LeavingTheProgramDestroysIt) {
  std::vector<int> exits;
  a().commands.exit_process = [&exits](int code) { exits.push_back(code); };
  a().commands.leave();
  EXPECT_EQ(exits, std::vector<int>{0}) << "without an About window";

  choose_about();
  a().commands.leave();
  EXPECT_EQ(a().about.window(), nullptr);
  EXPECT_EQ(shown_about_windows(), 0);
  EXPECT_EQ(exits, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace gm::testing
