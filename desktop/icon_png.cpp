// Build helper: writes the program's window icon as a PNG of a given size for the desktop's
// icon theme, so the launcher shows the same picture as the window.
// Usage: icon_png SIZE OUT.png   (SIZE a multiple of 16)
//
// The toolkit's own pixmap conversion asks the X server to parse colours, and a build has
// no display; the icons only use "#RRGGBB" and "None", which are read here instead.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "glossmark_icon.h"

namespace {

struct Rgba {  // the byte order of a PNG RGBA row
  unsigned char r = 0, g = 0, b = 0, a = 0;
};

static_assert(sizeof(Rgba) == 4, "rows are written straight from the pixels");

struct Image {
  int size = 0;
  std::vector<Rgba> pixels;  // size * size, row by row
};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "icon_png: %s\n", message.c_str());
  std::exit(1);
}

Rgba parse_colour(const std::string& value) {
  if (value == "None") return {};
  if (value.size() != 7 || value[0] != '#') die("unsupported XPM colour '" + value + "'");
  const unsigned long rgb = std::strtoul(value.c_str() + 1, nullptr, 16);
  return {static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
          static_cast<unsigned char>(rgb), 255};
}

// One character per pixel, colours as "X c VALUE": what the program's icons use.
Image read_xpm(const char* const* xpm) {
  int width = 0, height = 0, colours = 0, chars_per_pixel = 0;
  if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &chars_per_pixel) != 4 ||
      width != height || chars_per_pixel != 1) {
    die("unsupported XPM header");
  }
  Rgba table[256];
  for (int i = 1; i <= colours; ++i) {
    const std::string line = xpm[i];
    if (line.size() < 5 || line.compare(1, 3, " c ") != 0) die("unsupported XPM colour line");
    table[static_cast<unsigned char>(line[0])] = parse_colour(line.substr(4));
  }
  Image image{width, {}};
  for (int y = 0; y < height; ++y) {
    const char* row = xpm[1 + colours + y];
    if (static_cast<int>(std::strlen(row)) != width) die("XPM row of the wrong length");
    for (int x = 0; x < width; ++x) {
      image.pixels.push_back(table[static_cast<unsigned char>(row[x])]);
    }
  }
  return image;
}

// Whole-number enlargement keeps the drawn pixels sharp.
Image enlarge(const Image& source, int size) {
  const int factor = size / source.size;
  Image image{size, {}};
  image.pixels.reserve(static_cast<size_t>(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      image.pixels.push_back(source.pixels[(y / factor) * source.size + x / factor]);
    }
  }
  return image;
}

void write_png(const Image& image, const char* path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "wb"), std::fclose);
  if (!file) die(std::string("cannot write ") + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    die(std::string("cannot encode ") + path);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, image.size, image.size, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.size; ++y) {
    png_write_row(png, reinterpret_cast<png_const_bytep>(&image.pixels[y * image.size]));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc == 3 ? std::atoi(argv[1]) : 0;
  if (size <= 0 || size % 16 != 0) die("usage: icon_png SIZE OUT.png (SIZE a multiple of 16)");
  // The 32-pixel drawing has more detail; the 16-pixel one serves the odd multiples.
  const Image source = read_xpm(size % 32 == 0 ? glossmark_icon32_xpm : glossmark_icon16_xpm);
  write_png(enlarge(source, size), argv[2]);
  return 0;
}
