#include "ui/icons.h"

#include <FL/Fl_Image.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Window.H>

#include "glossmark_icon.h"

namespace gm {

void set_window_icons(Fl_Window& window) {
  // icon() would take a pixmap as an X bitmap id; icons() wants RGB images (and copies them).
  const Fl_Pixmap small_pixmap(glossmark_icon16_xpm);
  const Fl_Pixmap large_pixmap(glossmark_icon32_xpm);
  const Fl_RGB_Image small_icon(&small_pixmap, FL_GRAY);
  const Fl_RGB_Image large_icon(&large_pixmap, FL_GRAY);
  const Fl_RGB_Image* icons[] = {&small_icon, &large_icon};
  window.icons(icons, 2);
}

}  // namespace gm
