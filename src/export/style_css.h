// The style table as CSS, for pages and stylesheets outside the program: the same colour,
// face and size as the Editor draws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace gm {

// "gm-s00" for 'A' up to "gm-s57" for 'z'; styles outside the table take the nearest end.
std::string style_class(unsigned char style);
// The style character of such a class name; none for any other name.
std::optional<unsigned char> style_of_class(const std::string& name);

// 0xRRGGBB of a toolkit colour index used by the style table (as the toolkit's default
// colour map has it); black for any other index.
uint32_t toolkit_rgb(unsigned index);

// One rule per style: ".gm-s01{color:#ff0000;font:14px ...}", each on a line.
std::string style_rules();

}  // namespace gm
