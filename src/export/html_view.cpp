#include "export/html_view.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "export/style_css.h"
#include "export/text_positions.h"
#include "tags/styles.h"

namespace gm {

namespace {

constexpr size_t kFlushBytes = 1 << 20;
constexpr size_t kExcerptChars = 80;

const char kPageStyle[] =
    "html,body{margin:0;height:100%}\n"
    "body{display:flex;background:#fff}\n"
    "#text{flex:3;overflow:auto;padding:4px 8px}\n"
    "#tags{flex:1;overflow:auto;min-width:16em;border-left:1px solid #bbb;padding:0 8px;"
    "font:13px Helvetica,Arial,sans-serif;color:#000}\n"
    "#text pre{margin:0;white-space:pre}\n"
    ".part{content-visibility:auto;contain-intrinsic-size:auto 40em}\n"
    "#text a{text-decoration:none}\n"
    "#text a:hover{background:#ffffb0}\n"
    ":target{outline:2px solid #f0b000}\n"
    "#tags li{margin:0 0 .6em}\n"
    "#tags time{color:#555;margin-left:.5em}\n"
    ".note{white-space:pre-wrap;margin:.2em 0 0}\n";

// Appends text with & < > " ' as references. Control bytes show as their pictures,
// so a zero byte's placeholder and the like stay visible without breaking the page.
void append_escaped(std::string& out, std::string_view text, bool keep_line_ends) {
  size_t plain = 0;
  auto flush = [&](size_t i) {
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'')
      continue;
    if (c >= 0x80 && c != 0xED) continue;  // the text is UTF-8; 0xED may open a surrogate
    switch (c) {
      case '&':
        flush(i);
        out += "&amp;";
        break;
      case '<':
        flush(i);
        out += "&lt;";
        break;
      case '>':
        flush(i);
        out += "&gt;";
        break;
      case '"':
        flush(i);
        out += "&quot;";
        break;
      case '\'':
        flush(i);
        out += "&#39;";
        break;
      case '\t':
        break;
      case '\n':
      case '\r':
        if (keep_line_ends) break;
        flush(i);
        out += "&#10;";
        break;
      case 0xED:
        if (i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0) {
          flush(i);
          out += "\xEF\xBF\xBD";
          i += 2;
          plain = i + 1;
        }
        break;
      default: {  // C0 controls and DEL
        flush(i);
        const unsigned picture = c == 0x7F ? 0x2421 : 0x2400 + c;
        out += static_cast<char>(0xE0 | (picture >> 12));
        out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (picture & 0x3F));
      }
    }
  }
  out.append(text.data() + plain, text.size() - plain);
}

// Writes the document text as runs, each in the style of the Tag that rules it.
class TextWriter {
 public:
  TextWriter(std::ostream& out, std::string_view text, const CodePoints& chars, const TagList& tags)
      : out_(out), text_(text), chars_(chars), background_(style_class(tags.default_style)) {
    size_t number = 0;
    for (const TagNode* n = tags.head(); n; n = n->next.get()) {
      index_[n->tag.get()] = ++number;
      starts_.push_back({chars_.boundary_before(n->tag->start), number});
    }
    std::stable_sort(starts_.begin(), starts_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }

  void write(const TagList& tags) {
    open_part();
    const auto size = static_cast<int32_t>(text_.size());
    for (const TagRun& run : tag_runs(tags, 0, size)) {
      // A character takes the style of its first byte, as the Editor draws it.
      const int64_t end = chars_.boundary_after(run.end);
      if (end <= cursor_) continue;
      open_ = run.tag;
      open_run();
      while (cursor_ < end) write_until(end);
      close_run();
    }
    write_anchors(cursor_ + 1);  // Tags that start at the very end
    buffer_ += "</pre></div>";
    flush(true);
  }

 private:
  void open_part() {
    buffer_ += "<div class=\"part\"><pre class=\"" + background_ + "\">";
    part_start_ = cursor_;
  }

  void open_run() {
    if (!open_) return;
    const size_t number = index_.at(open_);
    buffer_ += "<a class=\"" + style_class(open_->style) + "\" href=\"#tag-" +
               std::to_string(number) + "\"";
    if (open_->has_note()) {
      buffer_ += " title=\"";
      append_escaped(buffer_, strict_utf8(open_->note()), false);
      buffer_ += '"';
    }
    buffer_ += '>';
  }

  void close_run() {
    if (open_) buffer_ += "</a>";
  }

  // Anchors of the Tags that start before position p, in list order.
  void write_anchors(int64_t p) {
    for (; next_start_ < starts_.size() && starts_[next_start_].first < p; ++next_start_)
      buffer_ += "<span id=\"at-" + std::to_string(starts_[next_start_].second) + "\"></span>";
  }

  // Text from the cursor towards end, stopping at the next anchor or the end of a part.
  void write_until(int64_t end) {
    write_anchors(cursor_ + 1);
    int64_t stop = end;
    if (next_start_ < starts_.size()) stop = std::min(stop, starts_[next_start_].first);
    bool cut = false;
    const int64_t part_full = part_start_ + static_cast<int64_t>(kHtmlPartBytes);
    if (stop > part_full) {
      // Only the stretch about to be written is searched, so a text without line ends
      // costs no more than one with them.
      const int64_t from = std::max(cursor_, part_full);
      const void* line_end =
          std::memchr(text_.data() + from, '\n', static_cast<size_t>(stop - from));
      if (line_end) {
        stop = static_cast<const char*>(line_end) - text_.data() + 1;
        cut = true;
      }
    }
    append_escaped(buffer_,
                   text_.substr(static_cast<size_t>(cursor_), static_cast<size_t>(stop - cursor_)),
                   true);
    cursor_ = stop;
    if (cut) {
      close_run();
      buffer_ += "</pre></div>";
      open_part();
      open_run();
    }
    flush(false);
  }

  void flush(bool always) {
    if (!always && buffer_.size() < kFlushBytes) return;
    out_ << buffer_;
    buffer_.clear();
  }

  std::ostream& out_;
  std::string_view text_;
  const CodePoints& chars_;
  std::string background_;
  std::unordered_map<const Tag*, size_t> index_;
  std::vector<std::pair<int64_t, size_t>> starts_;  // anchor position, Tag number
  size_t next_start_ = 0;
  const Tag* open_ = nullptr;
  int64_t cursor_ = 0;
  int64_t part_start_ = 0;
  std::string buffer_;
};

std::string excerpt(std::string_view text, const CodePoints& chars, const Tag& tag) {
  const int64_t from = chars.boundary_before(tag.start);
  const int64_t limit = chars.byte_of(chars.floor(tag.start) + kExcerptChars);
  const int64_t to = std::min<int64_t>(chars.boundary_after(tag.end), limit);
  std::string out;
  append_escaped(out, text.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)),
                 false);
  if (to < tag.end) out += "\xE2\x80\xA6";  // …
  return out;
}

void write_tag_list(std::ostream& out, std::string_view text, const CodePoints& chars,
                    const TagList& tags) {
  std::string buffer = "<aside id=\"tags\"><h2>" + std::to_string(tags.size()) +
                       (tags.size() == 1 ? " tag" : " tags") + "</h2>\n<ol>\n";
  size_t number = 0;
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    const Tag& tag = *n->tag;
    const std::string k = std::to_string(++number);
    buffer += "<li id=\"tag-" + k + "\"><a class=\"" + style_class(tag.style) + "\" href=\"#at-" +
              k + "\">" + excerpt(text, chars, tag) + "</a><time>" + iso_time(tag.time) +
              "</time>\n<div class=\"note\">";
    if (tag.has_note())
      append_escaped(buffer, strict_utf8(tag.note()), true);
    else
      buffer += "<em>&lt;NO TAG TEXT&gt;</em>";
    buffer += "</div></li>\n";
    if (buffer.size() >= kFlushBytes) {
      out << buffer;
      buffer.clear();
    }
  }
  out << buffer << "</ol></aside>\n";
}

}  // namespace

void append_html_text(std::string& out, std::string_view text) {
  append_escaped(out, strict_utf8(text), false);
}

void write_html(std::ostream& out, std::string_view text, const TagList& tags,
                const std::string& title) {
  std::string head =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'\">\n<title>";
  append_html_text(head, title);
  head += "</title>\n<style>\n";
  head += kPageStyle;
  head += style_rules();
  head += "</style></head>\n<body>\n<main id=\"text\">";
  out << head;
  const CodePoints chars(text);
  TextWriter(out, text, chars, tags).write(tags);
  out << "</main>\n";
  write_tag_list(out, text, chars, tags);
  out << "</body></html>\n";
}

}  // namespace gm
