// Finding a quoted stretch of text again. One function, so that a more tolerant locator
// (whitespace, small edits) can take its place without touching the importer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace gm {

struct TextQuote {
  std::string_view exact;
  std::string_view prefix;  // the text just before exact, may be shorter or empty
  std::string_view suffix;  // the text just after exact
};

struct ByteRange {
  int64_t start;
  int64_t end;
};

// The byte range of the quote in text: where exact appears with its prefix before it and
// its suffix after it; when it appears nowhere with both, where exact appears at all.
// Several candidates: the one nearest to hint (a byte position), when there is a hint and
// exactly one is nearest. Otherwise none: a quote is never placed by a guess.
std::optional<ByteRange> locate_quote(std::string_view text, const TextQuote& quote,
                                      std::optional<int64_t> hint);

}  // namespace gm
