#include "document/document.h"

#include <FL/fl_utf8.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

void replace_zero_bytes(std::string& text) {
  char* const begin = &text[0];
  char* const end = begin + text.size();
  for (char* p = begin; (p = static_cast<char*>(std::memchr(p, '\0', end - p))) != nullptr;) {
    *p++ = kZeroPlaceholder;
  }
}

// Two passes: the first learns the length (filling what fits), the second must agree.
// Answers false after its diagnostic line when the text cannot be converted.
bool convert_from_code_page(std::string& text) {
  const int size = static_cast<int>(text.size());
  progress("file in nonUTF8 encoding!Converting from %d bytes...\n", size);

  std::string converted;
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
  converted.resize(n);

  text.swap(converted);
  progress("data_size=%d\n", size);
  progress("data_size=%d\n", static_cast<int>(n));
  return true;
}

// The text as UTF-8, converted from the locale's code page when needed.
bool make_utf8(std::string& text) {
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
int read_tags_of(TagList& tags, const std::string& name) {
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
      return read_tag_data(tags, recovery.bytes.data(), recovery.bytes.size());
  }
  return read_tag_file(tags, name.c_str());
}

// Reads the tag file into tags and fits them to a text of `size` bytes; false when memory
// ran out on the way (after its line).
bool load_tags(TagList& tags, const std::string& document_path, int32_t size) {
  try {
    if (read_tags_of(tags, tag_file_name(document_path)) != 0) {
      progress_line("Warning: fail to load tag file!");
    }
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
  std::string& text = loaded->text;
  if (read_whole_file(text, path) < 0) return nullptr;
  replace_zero_bytes(text);
  if (!make_utf8(text)) return nullptr;

  loaded->path = path;
  loaded->tags.top_line = open_tags.top_line;
  loaded->tags.top_column = open_tags.top_column;
  loaded->tags.default_style = open_tags.default_style;
  if (!load_tags(loaded->tags, loaded->path, static_cast<int32_t>(text.size()))) return nullptr;
  loaded->display_path = display_path_of(loaded->path);
  return loaded;
}

void adopt_document(DocumentState& doc, TagList& tags, LoadedDocument& loaded) {
  doc.data = std::move(loaded.text);
  doc.path = std::move(loaded.path);
  doc.display_path = std::move(loaded.display_path);
  tags.swap_contents(loaded.tags);
}

int open_document(DocumentState& doc, TagList& tags, const char* path) {
  doc.data.reset();
  const std::unique_ptr<LoadedDocument> loaded = load_document(path, tags);
  if (!loaded) return -1;
  adopt_document(doc, tags, *loaded);
  return 0;
}

}  // namespace gm
