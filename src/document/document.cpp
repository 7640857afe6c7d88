#include "document/document.h"

#include <FL/fl_utf8.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "document/encoding.h"
#include "document/reader.h"
#include "platform/progress.h"
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

void load_tags(TagList& tags, const std::string& document_path, int32_t size) {
  if (read_tag_file(tags, tag_file_name(document_path).c_str()) != 0) {
    progress_line("Warning: fail to load tag file!");
  }
  progress("cut size %d\n", size);
  tags.clamp_tags(0, size);
  tags.clamp_styles('A', 'z');
}

}  // namespace

std::string tag_file_name(const std::string& document_path) { return document_path + ".tag"; }

int open_document(DocumentState& doc, TagList& tags, const char* path) {
  if (!path) return -1;
  doc.data.reset();

  std::string text;
  if (read_whole_file(text, path) < 0) return -1;
  replace_zero_bytes(text);
  if (!make_utf8(text)) return -1;

  const int32_t size = static_cast<int32_t>(text.size());
  doc.data = std::move(text);
  doc.path = path;
  load_tags(tags, *doc.path, size);

  if (is_utf8(doc.path->data(), doc.path->size())) {
    doc.display_path.reset();
  } else {
    std::string shown = display_form(*doc.path);
    if (shown.empty()) {
      doc.display_path.reset();
    } else {
      doc.display_path = std::move(shown);
    }
  }
  return 0;
}

}  // namespace gm
