// The list command's lines: one per Tag, in list order, for reading and for line tools.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "tags/tag.h"

namespace gm {

// "start end style time note": byte positions, the style character, the time in ISO 8601
// UTC and the whole note escaped onto the line (nothing after the time without a note).
std::string tag_line(const Tag& tag);
void write_tag_lines(std::ostream& out, const TagList& tags);

// Backslash escapes: \\, \n, \r, \t, and \xHH for other control bytes and for every byte
// that is not part of well-formed UTF-8. Anything else stays as it is.
std::string escape_note(std::string_view note);

}  // namespace gm
