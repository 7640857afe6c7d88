// Opening a document into memory: read, check and convert the encoding, read its tag file
// into the TagList and fit the Tags to the text.
#pragma once

#include <optional>
#include <string>

#include "tags/tag.h"

namespace gm {

struct DocumentState {
  std::optional<std::string> data;         // the text, always UTF-8; none when not loaded
  std::optional<std::string> path;         // as handed to open_document; kept until the next success
  std::optional<std::string> display_path; // UTF-8 form of a path that is not UTF-8
};

// 0 on success, -1 on failure. Failure leaves data none and everything else unchanged.
int open_document(DocumentState& doc, TagList& tags, const char* path);

// "<path>.tag"
std::string tag_file_name(const std::string& document_path);

}  // namespace gm
