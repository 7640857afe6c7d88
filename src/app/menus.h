// The menu tables as static data. The main menu bar keeps its own copy; the popup tables are
// copied into each App and used in place. Item states change by index.
#pragma once

#include <FL/Fl_Menu_Item.H>

namespace gm {

// Places in the main menu bar's copy of the main menu table.
enum MainMenuIndex : int {
  kFileMenu = 0,
  kOpenItem = 1,
  kSaveTagItem = 2,
  kExitItem = 3,
  kEditMenu = 5,
  kCopyItem = 6,
  kPasteItem = 7,
  kCutItem = 8,
  kUndoItem = 9,
  kRedoItem = 10,
  kViewMenu = 12,
  kSidebarItem = 13,
  kListTagsItem = 14,
  kHelpMenu = 16,
  kAboutItem = 17,
  kFreeToUseItem = 18,
  kHelpItem = 19,
};
constexpr int kMainMenuSize = 22;

enum SearchMenuIndex : int { kSearchCopyItem = 0, kSearchPasteItem = 1, kSearchCutItem = 2 };

enum TagPopupIndex : int {
  kNewTagItem = 0,
  kEditTagItem = 1,
  kRemoveTagItem = 2,
  kTagPropertiesItem = 3,
  kCopyTextItem = 4,
  kDefaultStyleItem = 5,
  kOpenUriItem = 6,
};

extern const Fl_Menu_Item kMainMenu[kMainMenuSize];
extern const Fl_Menu_Item kSearchMenu[4];      // user data: the search input, set per App
extern const Fl_Menu_Item kTagPopupMenu[8];    // "&Copy Text" user data: the Editor, per App
extern const Fl_Menu_Item kSearchTypeMenu[3];

inline void set_item_active(Fl_Menu_Item& item, bool active) {
  if (active) {
    item.activate();
  } else {
    item.deactivate();
  }
}

}  // namespace gm
