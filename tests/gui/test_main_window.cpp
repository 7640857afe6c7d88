// The widget tree and the menu tables, as main builds them.
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

#include "app/commands.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "gui_support.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/restyle.h"
#include "ui/tag_browser.h"
#include "ui/tag_dialogs.h"

namespace gm::testing {
namespace {

void expect_box(const Fl_Widget* w, int x, int y, int width, int height) {
  EXPECT_EQ(w->x(), x);
  EXPECT_EQ(w->y(), y);
  EXPECT_EQ(w->w(), width);
  EXPECT_EQ(w->h(), height);
}

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, TreeHasEveryWidgetInItsPlace) {
  Fl_Double_Window* window = a().window.get();
  EXPECT_STREQ(window->label(), "no file loaded");
  EXPECT_EQ(window->box(), FL_NO_BOX);
  EXPECT_EQ(window->w(), 800);
  EXPECT_EQ(window->h(), 600);
  EXPECT_EQ(window->resizable(), a().tile);
  EXPECT_EQ(window->callback(), close_callback);
  EXPECT_EQ(Fl_Group::current(), nullptr);

  ASSERT_EQ(window->children(), 2);
  ASSERT_NE(dynamic_cast<Fl_Menu_Bar*>(window->child(0)), nullptr);
  EXPECT_EQ(window->child(0), a().menu_bar);
  expect_box(a().menu_bar, 0, 0, 800, 30);
  ASSERT_NE(dynamic_cast<Fl_Tile*>(window->child(1)), nullptr);
  EXPECT_EQ(window->child(1), a().tile);
  expect_box(a().tile, 0, 30, 800, 570);

  // Creation order decides which child sees a press first.
  Fl_Tile* tile = a().tile;
  ASSERT_EQ(tile->children(), 5);
  EXPECT_EQ(tile->child(0), a().search_input);
  EXPECT_EQ(tile->child(1), a().search_menu_button);
  EXPECT_EQ(tile->child(2), a().search_type_choice);
  EXPECT_EQ(tile->child(3), a().tag_browser);
  EXPECT_EQ(tile->child(4), a().editor);

  auto* input = dynamic_cast<Fl_Input*>(tile->child(0));
  ASSERT_NE(input, nullptr);
  expect_box(input, 0, 30, 200, 30);
  EXPECT_STREQ(input->label(), "");
  EXPECT_EQ(input->when(), FL_WHEN_ENTER_KEY_CHANGED);
  EXPECT_STREQ(input->tooltip(),
               "Enter keyword to start searching. \nClick with right mouse button to popup edit "
               "menu.");
  EXPECT_EQ(input->callback(), start_search);
  EXPECT_EQ(input->user_data(), a().tag_browser);

  auto* search_menu = dynamic_cast<Fl_Menu_Button*>(tile->child(1));
  ASSERT_NE(search_menu, nullptr);
  expect_box(search_menu, 0, 30, 200, 30);
  EXPECT_EQ(search_menu->type(), Fl_Menu_Button::POPUP3);
  EXPECT_EQ(search_menu->box(), FL_NO_BOX);
  EXPECT_EQ(search_menu->menu(), a().search_menu.data());

  auto* choice = dynamic_cast<Fl_Choice*>(tile->child(2));
  ASSERT_NE(choice, nullptr);
  expect_box(choice, 200, 30, 60, 30);
  EXPECT_EQ(choice->box(), FL_NO_BOX);
  EXPECT_EQ(choice->menu(), a().search_type_menu.data());
  EXPECT_STREQ(choice->tooltip(), "Search in:");
  EXPECT_EQ(choice->callback(), choose_search_type);

  auto* browser = dynamic_cast<Fl_Hold_Browser*>(tile->child(3));
  ASSERT_NE(browser, nullptr);
  expect_box(browser, 0, 60, 260, 540);
  EXPECT_STREQ(browser->tooltip(), "Click with left mouse button.");
  EXPECT_EQ(browser->callback(), show_browser_line);
  EXPECT_EQ(browser->user_data(), a().editor);

  auto* editor = dynamic_cast<Editor*>(tile->child(4));
  ASSERT_NE(editor, nullptr);
  expect_box(editor, 260, 30, 540, 570);
  EXPECT_STREQ(editor->tooltip(), "Click with right mouse button to open edit menu.");
  EXPECT_EQ(editor->buffer(), a().text_buffer.get());

  // The tag popup menu button is the Editor's last child and spans the whole screen.
  ASSERT_GE(editor->children(), 1);
  auto* popup = dynamic_cast<Fl_Menu_Button*>(editor->child(editor->children() - 1));
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup, a().tag_popup_button);
  expect_box(popup, 0, 0, Fl::w(), Fl::h());
  EXPECT_EQ(popup->type(), Fl_Menu_Button::POPUP3);
  EXPECT_EQ(popup->box(), FL_NO_BOX);
  EXPECT_EQ(popup->menu(), a().tag_popup_menu.data());
  EXPECT_EQ(popup->callback(), popup_dispatch);
  EXPECT_EQ(popup->user_data(), nullptr);
}

TEST(MainWindowBuild, PointerStartsOverTheEditor) {
  App fresh;
  build_main_window(fresh);
  EXPECT_EQ(Fl::belowmouse(), fresh.editor);
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
  a().text_buffer->text("red word here");
  a().tags.default_style = 'A';
  auto tag = make_tag(0, 3, 'B', 1, "");
  a().tags.insert_tag(tag);
  restyle_document(a());
  a().window->show();
  Fl::flush();
  EXPECT_EQ(styles(), "BBBAAAAAAAAAA");
}

TEST_F(MainWindowTest, MainMenuBarHoldsItsOwnCopyOfTheTable) {
  const Fl_Menu_Item* menu = a().menu_bar->menu();
  ASSERT_NE(menu, kMainMenu);
  ASSERT_EQ(menu->size(), kMainMenuSize);
  struct Expected {
    int index;
    const char* label;
    int shortcut;
    int flags;
    Fl_Callback* callback;
  };
  const Expected items[] = {
      {kFileMenu, "&File", 0, FL_SUBMENU, nullptr},
      {kOpenItem, "&Open", FL_CTRL + 'o', 0, open_command},
      {kSaveTagItem, "&Save Tag  ", FL_CTRL + 's', 0, save_tag_command},
      {kExitItem, "E&xit", 0, 0, exit_command},
      {kEditMenu, "&Edit", 0, FL_SUBMENU, nullptr},
      {kCopyItem, "Copy", FL_CTRL + 'c', 0, copy_command},
      {kPasteItem, "Paste", FL_CTRL + 'v', 0, paste_command},
      {kCutItem, "Cut", FL_CTRL + 'x', FL_MENU_DIVIDER, cut_command},
      {kUndoItem, "Undo", FL_CTRL + 'z', FL_MENU_INACTIVE, undo_command},
      {kRedoItem, "Redo", FL_CTRL + 'r', FL_MENU_INACTIVE, redo_command},
      {kViewMenu, "&View", 0, FL_SUBMENU, nullptr},
      {kSidebarItem, "Side&Bar  ", FL_CTRL + 'b', FL_MENU_TOGGLE | FL_MENU_VALUE, toggle_sidebar},
      {kListTagsItem, "&List Tags   ", FL_CTRL + 'l', 0, list_tags_command},
      {kHelpMenu, "&Help", 0, FL_SUBMENU, nullptr},
      {kAboutItem, "About", 0, 0, about_command},
      {kFreeToUseItem, "Free to use", 0, FL_MENU_INACTIVE, nullptr},
      {kHelpItem, "Help", FL_F + 1, 0, help_command},
  };
  for (const Expected& e : items) {
    SCOPED_TRACE(e.label);
    EXPECT_STREQ(menu[e.index].label(), e.label);
    EXPECT_EQ(menu[e.index].shortcut(), e.shortcut);
    EXPECT_EQ(menu[e.index].flags, e.flags);
    EXPECT_EQ(menu[e.index].callback(), e.callback);
    EXPECT_EQ(menu[e.index].user_data(), nullptr);
  }
  for (int end : {4, 11, 15, 20, 21}) EXPECT_EQ(menu[end].label(), nullptr) << end;

  // States change in the copy, never in the shared table.
  set_main_item_active(a(), kUndoItem, true);
  EXPECT_TRUE(a().menu_bar->menu()[kUndoItem].active());
  EXPECT_FALSE(kMainMenu[kUndoItem].active());
  set_main_item_active(a(), kSaveTagItem, false);
  EXPECT_EQ(a().menu_bar->mode(kSaveTagItem), FL_MENU_INACTIVE);
}

TEST_F(MainWindowTest, PopupTablesCarryTheirUserDataAndStartStates) {
  const auto& search = a().search_menu;
  const char* search_labels[] = {"Copy", "Paste  ", "Cut"};
  const int search_keys[] = {FL_CTRL + 'c', FL_CTRL + 'v', FL_CTRL + 'x'};
  Fl_Callback* search_commands[] = {copy_command, paste_command, cut_command};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(search[i].label(), search_labels[i]);
    EXPECT_EQ(search[i].shortcut(), search_keys[i]);
    EXPECT_EQ(search[i].callback(), search_commands[i]);
    EXPECT_EQ(search[i].user_data(), a().search_input);
    EXPECT_EQ(search[i].flags, 0);
  }
  EXPECT_EQ(search[3].label(), nullptr);

  const auto& popup = a().tag_popup_menu;
  struct Expected {
    const char* label;
    int flags;
    Fl_Callback* callback;
  };
  const Expected items[] = {
      {"New tag", FL_MENU_INACTIVE, nullptr},
      {"Edit tag", FL_MENU_INACTIVE, nullptr},
      {"Remove tag", 0, nullptr},
      {"Tag properties", FL_MENU_DIVIDER, nullptr},
      {"&Copy Text", FL_MENU_INACTIVE | FL_MENU_DIVIDER, copy_command},
      {"Default style", FL_MENU_DIVIDER, nullptr},
      {"Open uri with external program", FL_MENU_INACTIVE, open_uri_command},
  };
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(items[i].label);
    EXPECT_STREQ(popup[i].label(), items[i].label);
    EXPECT_EQ(popup[i].flags, items[i].flags);
    EXPECT_EQ(popup[i].callback(), items[i].callback);
    EXPECT_EQ(popup[i].shortcut(), 0);
    EXPECT_EQ(popup[i].user_data(), i == kCopyTextItem ? static_cast<void*>(a().editor) : nullptr);
  }
  EXPECT_EQ(popup[7].label(), nullptr);

  const auto& types = a().search_type_menu;
  EXPECT_STREQ(types[0].label(), "Text");
  EXPECT_STREQ(types[1].label(), "Tag");
  EXPECT_EQ(types[2].label(), nullptr);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(types[i].flags, 0);
    EXPECT_EQ(types[i].callback(), nullptr);
  }
}

TEST_F(MainWindowTest, EveryAppStartsFromPristineTables) {
  a().tag_popup_menu[kNewTagItem].activate();
  a().search_menu[kSearchCopyItem].deactivate();
  app_.reset();
  App fresh;
  EXPECT_FALSE(fresh.tag_popup_menu[kNewTagItem].active());
  EXPECT_TRUE(fresh.search_menu[kSearchCopyItem].active());
  EXPECT_EQ(&app(), &fresh);
}

TEST_F(MainWindowTest, FileChooserIsTheOpenDialog) {
  ASSERT_NE(a().chooser, nullptr);
  EXPECT_STREQ(a().chooser->label(), "open");
  EXPECT_EQ(a().chooser->type(), Fl_File_Chooser::SINGLE);
  EXPECT_STREQ(a().chooser->filter(), "*.{txt}");  // the first of the two filters
  EXPECT_EQ(a().chooser->filter_value(), 0);
  EXPECT_EQ(a().chooser->preview(), 0);
}

int toolkit_errors = 0;
void count_toolkit_error(const char*, ...) { ++toolkit_errors; }

TEST_F(MainWindowTest, ModifyCallbacksAreRegisteredTwiceOnEachBuffer) {
  // The toolkit reports an error for a callback it cannot find: each pair must be there
  // exactly once, with the Editor and with the main window as its argument.
  void (*saved_error)(const char*, ...) = Fl::error;
  Fl::error = count_toolkit_error;
  toolkit_errors = 0;
  a().text_buffer->remove_modify_callback(text_modified, a().editor);
  a().text_buffer->remove_modify_callback(text_modified, a().window.get());
  a().style_buffer->remove_modify_callback(styles_modified, a().editor);
  a().style_buffer->remove_modify_callback(styles_modified, a().window.get());
  EXPECT_EQ(toolkit_errors, 0);
  a().text_buffer->remove_modify_callback(text_modified, a().editor);
  a().style_buffer->remove_modify_callback(styles_modified, a().window.get());
  EXPECT_EQ(toolkit_errors, 2);
  Fl::error = saved_error;
}

}  // namespace
}  // namespace gm::testing
