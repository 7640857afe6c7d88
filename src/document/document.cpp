#include "document/document.h"

#include <FL/fl_utf8.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <tuple>

#include "document/encoding.h"
#include "document/reader.h"
#include "platform/progress.h"
#include "platform/save_file.h"
#include "tags/tag_file.h"

namespace gm {

namespace {

// Stands in for a zero byte of the file. The text buffer takes its text as a zero-
// terminated string and would stop at the first zero, while the style buffer and the
// tags count every byte; with one byte for one byte all three agree on every position.
// SUB cannot come from the file itself, because the reader ends the text at it.
constexpr char kZeroPlaceholder = 0x1A;

void replace_zero_bytes(TextBlock& text) {
  if (text.empty()) return;
  char* const begin = text.data();
  char* const end = begin + text.size();
  for (char* p = begin; (p = static_cast<char*>(std::memchr(p, '\0', end - p))) != nullptr;) {
    *p++ = kZeroPlaceholder;
  }
}

// Two passes: the first learns the length (filling what fits), the second must agree.
// Answers false after its diagnostic line when the text cannot be converted.
bool convert_from_code_page(TextBlock& text) {
  const int size = static_cast<int>(text.size());
  progress("file in nonUTF8 encoding!Converting from %d bytes...\n", size);

  TextBlock converted;
  try {
    converted.resize(text.size() + 1);
  } catch (const std::bad_alloc&) {
    std::fputs("malloc\n", stderr);
    return false;
  }
  const unsigned n = utf8_from_mb(&converted[0], static_cast<unsigned>(size) + 1, text.data(),
                                  static_cast<unsigned>(size));
  if (n > kMaxDocumentSize) {
    report_document_too_large();
    return false;
  }
  progress("to %d bytes... \n", static_cast<int>(n));
  if (n == 0) {
    std::fputs("Fail to convert encoding!\n", stderr);
    return false;
  }
  try {
    converted.resize(n + 1);
  } catch (const std::bad_alloc&) {
    std::fputs("realloc\n", stderr);
    return false;
  }
  if (utf8_from_mb(&converted[0], n + 1, text.data(), static_cast<unsigned>(size)) != n) {
    std::fputs("Not the same! should not happened!\n", stderr);
    std::abort();
  }
  converted.resize(n);  // within its room: cannot fail

  text.swap(converted);
  progress("data_size=%d\n", size);
  progress("data_size=%d\n", static_cast<int>(n));
  return true;
}

// The text as UTF-8, converted from the locale's code page when needed.
bool make_utf8(TextBlock& text) {
  if (is_utf8(text.data(), text.size())) return true;
  progress_line("Not UTF-8");
  if (fl_utf8locale()) {
    std::fputs("Do not know file encoding. fail to convert.\n", stderr);
    return false;
  }
  return convert_from_code_page(text);
}

// A save that was cut short while it wrote the tag file in place left a complete copy of
// the tags it was saving: they are put back, or read from the copy when that cannot be.
// *from_copy: the fingerprint of the recovery copy when the Tags were read from it.
int read_tags_of(TagList& tags, const std::string& name, std::optional<Fingerprint>* from_copy) {
  const Recovery recovery = recover_file(name);
  switch (recovery.outcome) {
    case Recovery::nothing:
      break;
    case Recovery::restored:
      progress("Warning: an interrupted save had left %s incomplete; restored it from its "
                  "recovery copy\n", name.c_str());
      break;
    case Recovery::copy_kept:
      std::fprintf(stderr, "Warning: an interrupted save had left %s incomplete and it cannot be "
                   "restored (%s); tags read from the recovery copy %s\n", name.c_str(),
                   std::strerror(recovery.error), recovery.copy_path.c_str());
      *from_copy = fingerprint({recovery.bytes.data(), recovery.bytes.size()});
      return read_tag_data(tags, recovery.bytes.data(), recovery.bytes.size());
  }
  return read_tag_file(tags, name.c_str());
}

// The quote each Tag had when the anchor file was written, found by identity.
class SavedQuotes {
 public:
  explicit SavedQuotes(const std::vector<TagAnchor>& anchors) {
    sorted_.reserve(anchors.size());
    for (const TagAnchor& a : anchors) sorted_.push_back(&a);
    std::sort(sorted_.begin(), sorted_.end(), before);
  }
  TextQuote of(const Tag& tag) const {
    TagAnchor key;
    key.start = tag.start;
    key.end = tag.end;
    key.time = tag.time;
    const auto found = std::lower_bound(sorted_.begin(), sorted_.end(), &key, before);
    if (found == sorted_.end() || before(&key, *found)) return {};
    return (*found)->quote;
  }

 private:
  static bool before(const TagAnchor* a, const TagAnchor* b) {
    return std::tie(a->start, a->end, a->time) < std::tie(b->start, b->end, b->time);
  }
  std::vector<const TagAnchor*> sorted_;
};

// Where the Tags as read (not yet fitted to the text) go, by the re-anchoring's answer. The
// step acts on the list as fitted: a Tag is named by its fitted range, and one that fitting
// drops is added where it was found, or kept unplaced at once when it was not.
void plan_following(LoadedDocument& loaded, const ReanchorResult& result, const AnchorFile& file) {
  const SavedQuotes quotes(file.anchors);
  const auto size = static_cast<int32_t>(loaded.text->size());
  TextFollowing& plan = loaded.following;
  size_t i = 0;
  for (const TagNode* n = loaded.tags.head(); n && i < result.tags.size(); n = n->next.get(), ++i) {
    const Tag& tag = *n->tag;
    const PlacedRange& placed = result.tags[i];
    const int32_t start = std::max(tag.start, 0);
    const int32_t end = std::min(tag.end, size);
    const bool fitted = start < end;
    switch (placed.placement) {
      case Placement::stays:
      case Placement::moved:
        if (placed.start < 0 || placed.end > size || placed.start >= placed.end) break;
        if (!fitted) {
          auto again = copy_tag(tag);
          again->start = placed.start;
          again->end = placed.end;
          again->style = std::clamp<unsigned char>(again->style, 'A', 'z');
          plan.added.push_back(std::move(again));
        } else if (placed.start != start || placed.end != end) {
          plan.moves.push_back({{start, end, tag.time}, placed.start, placed.end});
        }
        break;
      case Placement::not_found:
      case Placement::ambiguous: {
        UnplacedTag record = make_unplaced(tag, quotes.of(tag));
        if (!fitted) {
          loaded.unplaced.push_back(std::move(record));
          break;
        }
        record.start = start;
        record.end = end;
        plan.taken_out.push_back(std::move(record));
        break;
      }
      case Placement::unanchored:
        break;
    }
  }
}

// The anchor file beside the tag file. Without one, or with a damaged one (one line on
// standard error), nothing changes. Its unplaced Tags are kept whatever else it says: they
// are in no tag file. A document changed since it was written is re-anchored.
void read_anchors(LoadedDocument& loaded, const std::string& tag_file,
                  const std::optional<Fingerprint>& from_copy) {
  const std::string name = anchor_file_name(loaded.path);
  std::optional<AnchorFile> file = read_anchor_file(name, false);
  if (!file) return;
  loaded.unplaced = std::move(file->unplaced);
  const std::optional<Fingerprint> tags_read = from_copy ? from_copy : fingerprint_file(tag_file);
  if (!tags_read) return;
  if (anchor_state(*file, *tags_read, fingerprint(loaded.text->view())) !=
      AnchorState::document_changed)
    return;
  file = read_anchor_file(name, true);
  if (!file) return;
  const ReanchorResult result = reanchor(loaded.text->view(), loaded.tags, *file);
  plan_following(loaded, result, *file);
  loaded.followed = result.counts;
}

// Reads the tag file (and its anchor file) into the loaded document and fits the Tags to the
// text; false when memory ran out on the way (after its line).
bool load_tags(LoadedDocument& loaded) {
  TagList& tags = loaded.tags;
  const auto size = static_cast<int32_t>(loaded.text->size());
  try {
    const std::string name = tag_file_name(loaded.path);
    std::optional<Fingerprint> from_copy;
    if (read_tags_of(tags, name, &from_copy) != 0) {
      progress_line("Warning: fail to load tag file!");
    }
    // The anchors name the Tags as the tag file has them, so this comes before the fitting.
    read_anchors(loaded, name, from_copy);
  } catch (const std::bad_alloc&) {
    std::fputs("Not enough memory to read the tag file; the open failed.\n", stderr);
    return false;
  }
  progress("cut size %d\n", size);
  tags.clamp_tags(0, size);
  tags.clamp_styles('A', 'z');
  return true;
}

std::optional<std::string> display_path_of(const std::string& path) {
  if (is_utf8(path.data(), path.size())) return std::nullopt;
  std::string shown = display_form(path);
  if (shown.empty()) return std::nullopt;
  return shown;
}

}  // namespace

std::string tag_file_name(const std::string& document_path) { return document_path + ".tag"; }

std::unique_ptr<LoadedDocument> load_document(const char* path, const TagList& open_tags) {
  if (!path) return nullptr;
  auto loaded = std::make_unique<LoadedDocument>();
  TextBlock& text = *loaded->text;
  if (read_whole_file(text, path) < 0) return nullptr;
  replace_zero_bytes(text);
  if (!make_utf8(text)) return nullptr;

  loaded->path = path;
  loaded->tags.top_line = open_tags.top_line;
  loaded->tags.top_column = open_tags.top_column;
  loaded->tags.default_style = open_tags.default_style;
  if (!load_tags(*loaded)) return nullptr;
  loaded->display_path = display_path_of(loaded->path);
  return loaded;
}

void adopt_document(DocumentState& doc, TagList& tags, LoadedDocument& loaded) {
  doc.forget_text();
  doc.data = std::move(loaded.text);
  doc.path = std::move(loaded.path);
  doc.display_path = std::move(loaded.display_path);
  tags.swap_contents(loaded.tags);
}

void prepare_anchors(DocumentState& doc) {
  if (doc.data && !doc.anchor_basis.valid())
    doc.anchor_basis = start_anchor_basis(doc.data->view(), doc.data);
}

int save_anchors(DocumentState& doc, const TagList& tags, const std::vector<UnplacedTag>& unplaced) {
  if (!doc.path || !doc.data) return -1;
  prepare_anchors(doc);
  const std::shared_ptr<const AnchorBasis> basis = doc.anchor_basis.get();
  const std::vector<char> tag_file = encode_tag_file(tags);
  return save_anchor_file(*doc.path, *basis, doc.data->view(), tags, unplaced,
                          fingerprint({tag_file.data(), tag_file.size()}));
}

int open_document(DocumentState& doc, TagList& tags, const char* path) {
  doc.forget_text();
  const std::unique_ptr<LoadedDocument> loaded = load_document(path, tags);
  if (!loaded) return -1;
  adopt_document(doc, tags, *loaded);
  return 0;
}

}  // namespace gm
