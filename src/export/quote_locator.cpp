#include "export/quote_locator.h"

#include <cstdlib>
#include <vector>

namespace gm {

namespace {

bool ends_with(std::string_view text, size_t end, std::string_view part) {
  return part.size() <= end && text.compare(end - part.size(), part.size(), part) == 0;
}

bool starts_with(std::string_view text, size_t at, std::string_view part) {
  return at <= text.size() && text.size() - at >= part.size() &&
         text.compare(at, part.size(), part) == 0;
}

std::optional<ByteRange> pick(const std::vector<size_t>& starts, size_t length,
                              std::optional<int64_t> hint) {
  if (starts.empty()) return std::nullopt;
  size_t best = starts[0];
  if (starts.size() > 1) {
    if (!hint) return std::nullopt;
    int64_t best_distance = -1;
    bool tie = false;
    for (size_t s : starts) {
      const int64_t distance = std::llabs(static_cast<int64_t>(s) - *hint);
      if (best_distance < 0 || distance < best_distance) {
        best = s;
        best_distance = distance;
        tie = false;
      } else if (distance == best_distance) {
        tie = true;
      }
    }
    if (tie) return std::nullopt;
  }
  return ByteRange{static_cast<int64_t>(best), static_cast<int64_t>(best + length)};
}

}  // namespace

std::optional<ByteRange> locate_quote(std::string_view text, const TextQuote& quote,
                                      std::optional<int64_t> hint) {
  if (quote.exact.empty()) return std::nullopt;
  std::vector<size_t> anywhere, in_context;
  for (size_t at = text.find(quote.exact); at != std::string_view::npos;
       at = text.find(quote.exact, at + 1)) {
    anywhere.push_back(at);
    if (ends_with(text, at, quote.prefix) &&
        starts_with(text, at + quote.exact.size(), quote.suffix))
      in_context.push_back(at);
  }
  return pick(in_context.empty() ? anywhere : in_context, quote.exact.size(), hint);
}

}  // namespace gm
