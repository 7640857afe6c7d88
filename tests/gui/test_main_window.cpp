// The widget tree and the menus, as main builds them: what the user sees and reaches.
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Tile.H>
#include <gtest/gtest.h>

#include <cstring>

#include "gui_support.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/view.h"

namespace gm::testing {
namespace {

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, TreeHasEveryWidgetWhereItTakesItsPresses) {
  Fl_Double_Window& window = a().window.window();
  EXPECT_STREQ(window.label(), "no file loaded");
  EXPECT_EQ(window.resizable(), &a().window.tile());
  EXPECT_EQ(Fl_Group::current(), nullptr);
  ASSERT_EQ(window.children(), 2);
  EXPECT_EQ(window.child(0), &a().window.menu_bar());
  EXPECT_EQ(window.child(1), &a().window.tile());

  // Creation order decides which child sees a press first: the search input before the
  // menu button under it, the Editor last, its popup button over the whole screen inside it.
  Fl_Tile& tile = a().window.tile();
  ASSERT_EQ(tile.children(), 5);
  EXPECT_EQ(tile.child(0), &a().sidebar.search_input());
  EXPECT_EQ(tile.child(1), &a().sidebar.search_menu_button());
  EXPECT_EQ(tile.child(2), &a().sidebar.type_choice());
  EXPECT_EQ(tile.child(3), &a().sidebar.browser());
  EXPECT_EQ(tile.child(4), &a().view.editor());
  Editor& editor = a().view.editor();
  EXPECT_EQ(editor.child(editor.children() - 1), &a().view.popup_button());
  EXPECT_EQ(a().view.popup_button().w(), Fl::w());
  EXPECT_EQ(a().view.popup_button().h(), Fl::h());
  EXPECT_EQ(a().view.popup_button().type(), Fl_Menu_Button::POPUP3);
  EXPECT_EQ(a().sidebar.search_menu_button().type(), Fl_Menu_Button::POPUP3);
  EXPECT_EQ(a().sidebar.search_input().when(), FL_WHEN_ENTER_KEY_CHANGED);

  EXPECT_STREQ(a().sidebar.search_input().tooltip(),
               "Enter keyword to start searching. \nClick with right mouse button to popup edit "
               "menu.");
  EXPECT_STREQ(a().sidebar.type_choice().tooltip(), "Search in:");
  EXPECT_STREQ(a().sidebar.browser().tooltip(), "Click with left mouse button.");
  EXPECT_STREQ(editor.tooltip(), "Click with right mouse button to open edit menu.");
  EXPECT_EQ(editor.buffer(), &a().view.text());
  EXPECT_STREQ(a().sidebar.type_choice().text(0), "Text");
  EXPECT_STREQ(a().sidebar.type_choice().text(1), "Tag");
}

TEST_F(MainWindowTest, EditorDrawsWithTheStyleBufferAndTable) {
  const Fl_Text_Display::Style_Table_Entry* table = editor_style_table();
  for (int i = 0; i < kStyleCount; ++i) {
    EXPECT_EQ(table[i].color, kStyleTable[i].color) << i;
    EXPECT_EQ(table[i].font, kStyleTable[i].font) << i;
    EXPECT_EQ(table[i].size, kStyleTable[i].size) << i;
    EXPECT_EQ(table[i].attr, 0u) << i;
  }
  EXPECT_EQ(table['B' - 'A'].color, FL_RED);
  EXPECT_EQ(table['z' - 'A'].font, FL_HELVETICA_BOLD);
  // Drawing a tagged document must not trip over the table (and shows the red 'B').
  a().view.text().text("red word here");
  auto tag = make_tag(0, 3, 'B', 1, "");
  planted().insert_tag(tag);
  paint();
  a().window.window().show();
  Fl::flush();
  EXPECT_EQ(styles(), "BBBAAAAAAAAAA");
}

TEST_F(MainWindowTest, MenusOfferEveryCommandWithItsKeyAndStartState) {
  Fl_Menu_Bar& bar = a().window.menu_bar();
  struct Expected {
    const char* path;
    int shortcut;
    bool active;
  };
  const Expected items[] = {
      {"&File/&Open", FL_CTRL + 'o', true},
      {"&File/&Save Tag  ", FL_CTRL + 's', true},
      {"&File/E&xit", 0, true},
      {"&Edit/Copy", FL_CTRL + 'c', true},
      {"&Edit/Paste", FL_CTRL + 'v', true},
      {"&Edit/Cut", FL_CTRL + 'x', true},
      {"&Edit/Undo", FL_CTRL + 'z', false},
      {"&Edit/Redo", FL_CTRL + 'r', false},
      {"&View/Side&Bar  ", FL_CTRL + 'b', true},
      {"&View/&List Tags   ", FL_CTRL + 'l', true},
      {"&Help/About", 0, true},
      {"&Help/Free to use", 0, false},
      {"&Help/Help", FL_F + 1, true},
  };
  for (const Expected& e : items) {
    SCOPED_TRACE(e.path);
    const Fl_Menu_Item* item = bar.find_item(e.path);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), e.shortcut);
    EXPECT_EQ(item->active() != 0, e.active);
  }
  const Fl_Menu_Item* sidebar = bar.find_item("&View/Side&Bar  ");
  EXPECT_TRUE(sidebar->checkbox());
  EXPECT_TRUE(sidebar->value());
  EXPECT_EQ(bar.find_item("&Help/Free to use")->callback(), nullptr);

  Fl_Menu_Button& search = a().sidebar.search_menu_button();
  ASSERT_EQ(search.size(), 4);
  const char* search_labels[] = {"Copy", "Paste  ", "Cut"};
  const int search_keys[] = {FL_CTRL + 'c', FL_CTRL + 'v', FL_CTRL + 'x'};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(search.menu()[i].label(), search_labels[i]);
    EXPECT_EQ(search.menu()[i].shortcut(), search_keys[i]);
    EXPECT_TRUE(search.menu()[i].active());
  }

  Fl_Menu_Button& popup = a().view.popup_button();
  ASSERT_EQ(popup.size(), 8);
  struct PopupItem {
    const char* label;
    bool active;
    bool divider;
  };
  const PopupItem expected[] = {
      {"New tag", false, false},
      {"Edit tag", false, false},
      {"Remove tag", true, false},
      {"Tag properties", true, true},
      {"&Copy Text", false, true},
      {"Default style", true, true},
      {"Open uri with external program", false, false},
  };
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(expected[i].label);
    const Fl_Menu_Item& item = popup.menu()[i];
    EXPECT_STREQ(item.label(), expected[i].label);
    EXPECT_EQ(item.active() != 0, expected[i].active);
    EXPECT_EQ((item.flags & FL_MENU_DIVIDER) != 0, expected[i].divider);
    EXPECT_EQ(item.shortcut(), 0);
  }
}

TEST_F(MainWindowTest, EveryProgramStartsFromPristineMenus) {
  a().view.text().text("some text");
  a().view.text().select(0, 4);
  ASSERT_TRUE(item_active(a().view.popup_button(), "New tag"));
  program_.reset();
  Program fresh;
  EXPECT_FALSE(item_active(fresh.view.popup_button(), "New tag"));
  EXPECT_TRUE(item_active(fresh.sidebar.search_menu_button(), "Copy"));
}

TEST_F(MainWindowTest, FileChooserIsTheOpenDialog) {
  Fl_File_Chooser* chooser = a().commands.chooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_STREQ(chooser->label(), "open");
  EXPECT_EQ(chooser->type(), Fl_File_Chooser::SINGLE);
  EXPECT_STREQ(chooser->filter(), "*.{txt}");  // the first of the two filters
  EXPECT_EQ(chooser->filter_value(), 0);
  EXPECT_EQ(chooser->preview(), 0);
}

}  // namespace
}  // namespace gm::testing
