#include "export/style_css.h"

#include <cstdio>

#include "tags/styles.h"

namespace gm {

std::string style_class(unsigned char style) {
  const int index = style < 'A' ? 0 : style > 'z' ? kStyleCount - 1 : style - 'A';
  char name[8];
  std::snprintf(name, sizeof name, "gm-s%02d", index);
  return name;
}

std::optional<unsigned char> style_of_class(const std::string& name) {
  if (name.size() != 6 || name.compare(0, 4, "gm-s") != 0) return std::nullopt;
  if (name[4] < '0' || name[4] > '9' || name[5] < '0' || name[5] > '9') return std::nullopt;
  const int index = (name[4] - '0') * 10 + (name[5] - '0');
  if (index >= kStyleCount) return std::nullopt;
  return static_cast<unsigned char>('A' + index);
}

uint32_t toolkit_rgb(unsigned index) {
  // The toolkit's colour cube as it fills its default map (a test checks these).
  switch (index) {
    case 56:
      return 0x000000;  // black
    case 88:
      return 0xff0000;  // red
    case 72:
      return 0x7f0000;  // dark red
    case 140:
      return 0x00917f;  // dark cyan
    case 216:
      return 0x0000ff;  // blue
    case 136:
      return 0x00007f;  // dark blue
    case 60:
      return 0x009100;  // dark green
    case 76:
      return 0x7f9100;  // dark yellow
    case 248:
      return 0xff00ff;  // magenta
    case 152:
      return 0x7f007f;  // dark magenta
    default:
      return 0x000000;
  }
}

std::string style_rules() {
  std::string css;
  for (int i = 0; i < kStyleCount; ++i) {
    const StyleEntry& entry = kStyleTable[i];
    // The toolkit's fonts 0 to 3: Helvetica, bold, italic, bold italic; sizes in pixels.
    const bool bold = entry.font == 1 || entry.font == 3;
    const bool italic = entry.font == 2 || entry.font == 3;
    char rule[160];
    std::snprintf(rule, sizeof rule, ".%s{color:#%06x;font:%s%s%dpx Helvetica,Arial,sans-serif}\n",
                  style_class(static_cast<unsigned char>('A' + i)).c_str(),
                  static_cast<unsigned>(toolkit_rgb(entry.color)), italic ? "italic " : "",
                  bold ? "bold " : "", entry.size);
    css += rule;
  }
  return css;
}

}  // namespace gm
