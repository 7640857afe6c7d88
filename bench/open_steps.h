// The two ways of putting the big document on screen that the open benchmarks and the
// peak-memory helper compare: the program's own start-up road into the real main window,
// and its floor, a plain text display filled with the file. Both stop at the first drawn
// frame. No benchmark library here: the helper process uses this too.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/x.H>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/display.h"
#include "app/program.h"
#include "big_document.h"
#include "tags/tag.h"

namespace bench {

inline int32_t ticking_clock() {
  static int32_t now = 1'800'000'000;
  return ++now;
}

// Opens the display once (and installs the clock); false when there is none.
inline bool open_display_once() {
  static const bool opened = [] {
    gm::set_time_source(&ticking_clock);
    if (!gm::open_x_display()) return false;
    Fl::visual(FL_DOUBLE | FL_INDEX);
    return true;
  }();
  return opened;
}

// Waits until the server has done everything asked of it so far.
inline void sync_server() { XSync(fl_display, False); }

// Shows the window and returns once its first frame is drawn and the server has it.
inline void show_first_frame(Fl_Window& window) {
  window.show();
  window.wait_for_expose();
  Fl::flush();
  sync_server();
}

// Draws what is damaged and waits until the server has drawn it.
inline void draw_now() {
  Fl::flush();
  sync_server();
}

// Opens a document the way the Open command does: into memory, on screen, all Tags listed.
inline bool open_again(gm::Program& program, const std::string& path) {
  {
    const QuietStdout quiet;
    if (program.commands.open_document(path.c_str()) != 0) return false;
  }
  program.commands.show_document();
  program.sidebar.list_tags();
  return true;
}

// Start-up with a document: the real program and window, the document opened, shown.
inline std::unique_ptr<gm::Program> open_in_main_window(const std::string& path) {
  auto program = std::make_unique<gm::Program>();
  if (!open_again(*program, path)) return nullptr;
  show_first_frame(program->window.window());
  return program;
}

// The floor: the file read into memory, a text buffer filled with it and attached to a
// text display of the Editor's size in a window of the main window's size.
struct FloorWindow {
  std::unique_ptr<Fl_Double_Window> window;
  Fl_Text_Display* display = nullptr;
  std::unique_ptr<Fl_Text_Buffer> buffer;

  ~FloorWindow() { window.reset(); }  // the display unhooks itself from the buffer
};

inline std::unique_ptr<FloorWindow> open_in_plain_display(const std::string& path,
                                                          size_t size) {
  auto floor = std::make_unique<FloorWindow>();
  floor->window = std::make_unique<Fl_Double_Window>(800, 600);
  floor->display = new Fl_Text_Display(260, 30, 540, 570);
  floor->window->end();
  {
    std::unique_ptr<char[]> data(new char[size + 1]);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    const size_t got = std::fread(data.get(), 1, size, file);
    std::fclose(file);
    data[got] = '\0';
    floor->buffer = std::make_unique<Fl_Text_Buffer>(0, 1024);
    floor->buffer->canUndo(0);
    floor->buffer->text(data.get());
  }
  floor->display->buffer(floor->buffer.get());
  show_first_frame(*floor->window);
  return floor;
}

}  // namespace bench
