#include "ui/about.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Return_Button.H>

#include <memory>

#include "about_icon.h"
#include "ui/top_level.h"

namespace gm {

namespace {

void close_about(Fl_Widget* button, void*) { button->window()->hide(); }

std::unique_ptr<Fl_Double_Window> build_about_window() {
  auto window = std::make_unique<Fl_Double_Window>(320, 240, "About Glossmark");

  auto* name = new Fl_Box(0, 0, 320, 100, "Glossmark 1.0\n");
  name->box(FL_NO_BOX);
  name->image(about_icon());
  name->align(FL_ALIGN_CENTER);
  name->labelsize(18);

  auto* notice = new Fl_Box(0, 100, 320, 100, "Made by the Glossmark developers.\nFree to use.");
  notice->box(FL_NO_BOX);
  notice->align(FL_ALIGN_INSIDE);
  notice->labelsize(12);

  auto* close = new Fl_Return_Button(120, 200, 80, 30, "Close");
  close->callback(close_about);

  window->end();
  window->set_non_modal();
  return window;
}

}  // namespace

Fl_Pixmap& about_icon() {
  static Fl_Pixmap icon(about_icon_xpm);
  return icon;
}

AboutBox::AboutBox() = default;
AboutBox::~AboutBox() = default;

void AboutBox::show() {
  // A window of its own, even when called while some group is being built.
  const TopLevelScope top_level;
  if (!window_) window_ = build_about_window();
  window_->show();
  focus_new_window(*window_);
}

void AboutBox::close() { window_.reset(); }

}  // namespace gm
