// Tags as W3C Web Annotations (JSON-LD) and back.
//
// Export: one AnnotationCollection whose first page holds an Annotation per Tag, in list
// order. Positions are code points of the text as loaded; the quote carries 32 characters
// of context on each side. What the model has no place for travels in properties of our
// own ("glossmark:..." in the collection's context): the view position and the default
// style on the collection, the exact byte positions of a Tag that starts or ends inside a
// character, and the bytes of a note that is not UTF-8 (percent-encoded, beside a shown
// value with U+FFFD).
//
// Import: every Annotation whose Tag identity (start, end, time) is not in the list yet
// is placed and merged in list order.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/tag.h"

namespace gm {

// "file:///abs/path" of a path, made absolute against the working folder, each byte
// outside the unreserved characters percent-encoded.
std::string file_uri(const std::string& path);

// The whole collection for the Tags of the document at document_path with the given text.
void write_annotations(std::ostream& out, std::string_view text, const TagList& tags,
                       const std::string& document_path);

struct ImportReport {
  // Set when the input as a whole is refused (bad JSON, a wrong shape, another
  // document): the one line to show. The list is untouched then.
  std::optional<std::string> error;
  size_t added = 0;
  size_t present = 0;                 // identity already in the list (or earlier in the input)
  std::vector<std::string> unplaced;  // one line per annotation that was not added
  bool header_changed = false;
};

// How the annotations are read: each as soon as the parser has it, or all from the whole
// tree once the file is parsed (slower, much more memory; the plain route the streaming one
// is checked against).
enum class Reading { streaming, whole_tree };

// Parses json, places its annotations in text and merges the new Tags into list. With
// take_header (the document has no tag file yet) the collection's view position and
// default style, when it carries them, become the list's.
ImportReport import_annotations(std::string_view json, std::string_view text,
                                const std::string& document_path, TagList& list, bool take_header,
                                Reading reading = Reading::streaming);

// Merges Tags into the list: both keep their own order and each new Tag goes before the
// first listed one that comes after it in list order (start ascending, longer range
// first, newest first). Into an empty list the new Tags keep exactly the order given.
void merge_tags(TagList& list, std::vector<std::unique_ptr<Tag>> incoming);

}  // namespace gm
