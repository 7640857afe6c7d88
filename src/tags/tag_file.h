// The binary tag file: a 9-byte header (top_line, top_column, default_style) and one
// record per Tag (start, end, style, time, textsize, text), little-endian, no magic.
#pragma once

#include <cstddef>
#include <vector>

#include "tags/tag.h"

namespace gm {

// Replaces the list's Tags with the file's. Path null: the list's own path.
// 0 when the whole file was read, -1 on any failure (the list then holds the
// complete records read before the failure).
int read_tag_file(TagList& list, const char* path);

// The same from bytes in memory (a recovery copy), as if they had been read from a file.
int read_tag_data(TagList& list, const char* data, size_t size);

// The bytes write_tag_file writes for the list.
std::vector<char> encode_tag_file(const TagList& list);

// Writes the list with save_file() (src/platform/save_file.h): no failure or interruption
// leaves the file without one complete version, old or new. When written, the bytes go to
// *written if given.
int write_tag_file(TagList& list, const char* path, std::vector<char>* written = nullptr);

}  // namespace gm
