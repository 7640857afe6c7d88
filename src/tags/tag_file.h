// The binary tag file: a 9-byte header (top_line, top_column, default_style) and one
// record per Tag (start, end, style, time, textsize, text), little-endian, no magic.
#pragma once

#include "tags/tag.h"

namespace gm {

// Replaces the list's Tags with the file's. Path null: the list's own path.
// 0 when the whole file was read, -1 on any failure (the list then holds the
// complete records read before the failure).
int read_tag_file(TagList& list, const char* path);

// Writes the list. The old file is replaced only once the new one is complete on disk.
int write_tag_file(TagList& list, const char* path);

}  // namespace gm
