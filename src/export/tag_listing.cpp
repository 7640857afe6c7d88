#include "export/tag_listing.h"

#include <ostream>

#include "export/text_positions.h"

namespace gm {

namespace {

// Length of the strictly well-formed sequence at i, or 0.
size_t sequence_at(std::string_view text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  const size_t n = c < 0x80                 ? 1
                   : c >= 0xC2 && c <= 0xDF ? 2
                   : c >= 0xE0 && c <= 0xEF ? 3
                   : c >= 0xF0 && c <= 0xF4 ? 4
                                            : 0;
  if (n == 0 || i + n > text.size()) return 0;
  return is_strict_utf8(text.substr(i, n)) ? n : 0;
}

}  // namespace

std::string escape_note(std::string_view note) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(note.size());
  for (size_t i = 0; i < note.size();) {
    const auto c = static_cast<unsigned char>(note[i]);
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c >= 0x20 && c != 0x7F && c < 0x80)
      out += note[i];
    else if (const size_t n = c >= 0x80 ? sequence_at(note, i) : 0; n > 0) {
      out.append(note.substr(i, n));
      i += n;
      continue;
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
    ++i;
  }
  return out;
}

std::string tag_line(const Tag& tag) {
  std::string line = std::to_string(tag.start) + ' ' + std::to_string(tag.end) + ' ' +
                     static_cast<char>(tag.style) + ' ' + iso_time(tag.time);
  if (tag.has_note()) line += ' ' + escape_note(tag.note());
  return line;
}

void write_tag_lines(std::ostream& out, const TagList& tags) {
  std::string chunk;
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    chunk += tag_line(*n->tag);
    chunk += '\n';
    if (chunk.size() >= (1u << 16)) {
      out << chunk;
      chunk.clear();
    }
  }
  out << chunk;
}

}  // namespace gm
