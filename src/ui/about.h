// The About box: the program's icon, name and version, and its maker's notice.
#pragma once

#include <memory>

class Fl_Double_Window;
class Fl_Pixmap;

namespace gm {

// The About icon, one for the whole run; made on first use, as the About box is.
Fl_Pixmap& about_icon();

class AboutBox {
 public:
  AboutBox();
  ~AboutBox();
  AboutBox(const AboutBox&) = delete;
  AboutBox& operator=(const AboutBox&) = delete;

  // Builds the window on first use and shows it; later calls show the same window.
  void show();
  // Leaving the program: the window goes.
  void close();
  // The window, none before the first show.
  Fl_Double_Window* window() const { return window_.get(); }

 private:
  std::unique_ptr<Fl_Double_Window> window_;
};

}  // namespace gm
