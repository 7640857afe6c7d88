#include "export/web_annotation.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <unordered_set>

#include "tags/reanchor.h"
#include "export/style_css.h"
#include "export/text_positions.h"

namespace gm {

namespace {

using ordered_json = nlohmann::ordered_json;
using json = nlohmann::json;

constexpr const char* kContext = "http://www.w3.org/ns/anno.jsonld";
constexpr const char* kOwnTerms = "urn:glossmark:terms#";
constexpr int64_t kContextChars = 32;         // characters of prefix and suffix
constexpr unsigned char kForeignStyle = 'B';  // annotations from elsewhere: red

// ---------------------------------------------------------------------------------------
// URIs

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::string percent_encode(std::string_view bytes, bool keep_printable) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep =
        keep_printable ? (c >= 0x20 && c < 0x7F && c != '%') : (unreserved(c) || c == '/');
    if (keep) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hex_value(text[i + 1]), low = hex_value(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string absolute_path(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

std::string last_segment(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// ---------------------------------------------------------------------------------------
// Export

struct Ids {
  std::string document;  // the target's source
  std::string tags;      // the collection: the tag file
};

std::string annotation_id(const Ids& ids, const Tag& tag) {
  return ids.tags + "#tag-" + std::to_string(tag.start) + "-" + std::to_string(tag.end) + "-" +
         std::to_string(tag.time);
}

// Annotations are written straight as text, exactly as ordered_json::dump() writes them:
// a tree per annotation, built, serialized and freed, cost most of an export.

// A JSON string of strict UTF-8: only the quote, the backslash and control characters are
// escaped (the serializer's short forms, else \u00xx).
void put_string(std::string& out, std::string_view s) {
  out += '"';
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s, run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        static const char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
      }
    }
  }
  out.append(s, run, std::string::npos);
  out += '"';
}

// Bytes of the text or of a note, as the strict UTF-8 that JSON carries.
void put_text(std::string& out, std::string_view bytes) {
  if (is_strict_utf8(bytes)) {
    put_string(out, bytes);
  } else {
    put_string(out, strict_utf8(bytes));
  }
}

void put_number(std::string& out, int64_t n) { out += std::to_string(n); }

void put_annotation(std::string& out, const Tag& tag, std::string_view text,
                    const CodePoints& chars, const Ids& ids) {
  // The whole characters the Tag touches, and their context.
  const int64_t from = chars.boundary_before(tag.start), to = chars.boundary_after(tag.end);
  const int64_t first = chars.ceil(from), last = chars.ceil(to);
  const auto piece = [text](int64_t a, int64_t b) {
    return text.substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
  };

  out += "{\"id\":";
  put_string(out, annotation_id(ids, tag));
  out += ",\"type\":\"Annotation\",\"motivation\":";
  out += tag.has_note() ? "\"commenting\"" : "\"highlighting\"";
  out += ",\"created\":";
  put_string(out, iso_time(tag.time));
  if (tag.has_note()) {
    const std::string_view note = tag.note();
    out += ",\"body\":{\"type\":\"TextualBody\",\"value\":";
    put_text(out, note);
    out += ",\"format\":\"text/plain\"";
    if (!is_strict_utf8(note)) {
      out += ",\"glossmark:percentEncoded\":";
      put_string(out, percent_encode(note, true));
    }
    out += '}';
  }
  out += ",\"target\":{\"source\":";
  put_string(out, ids.document);
  out += ",\"styleClass\":";
  put_string(out, style_class(tag.style));
  out += ",\"selector\":[{\"type\":\"TextPositionSelector\",\"start\":";
  put_number(out, first);
  out += ",\"end\":";
  put_number(out, last);
  if (from != tag.start || to != tag.end) {
    out += ",\"glossmark:byteStart\":";
    put_number(out, tag.start);
    out += ",\"glossmark:byteEnd\":";
    put_number(out, tag.end);
  }
  out += "},{\"type\":\"TextQuoteSelector\",\"exact\":";
  put_text(out, piece(from, to));
  out += ",\"prefix\":";
  put_text(out, piece(chars.back_from(from, kContextChars), from));
  out += ",\"suffix\":";
  put_text(out, piece(to, chars.forward_from(to, kContextChars)));
  out += "}]},\"stylesheet\":";
  put_string(out, ids.tags + "#styles");
  out += '}';
}

// ---------------------------------------------------------------------------------------
// Import: reading the shape

struct ShapeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Incoming {
  std::string label;                                    // the id, or "annotation N"
  bool has_id = false;                                  // else the label waits for N
  std::optional<std::pair<int64_t, int64_t>> position;  // code points
  std::optional<std::pair<int64_t, int64_t>> bytes;     // our exact byte positions
  bool has_quote = false;
  std::string exact, prefix, suffix;
  unsigned char style = kForeignStyle;
  bool has_time = false;
  bool time_out_of_range = false;
  int32_t time = 0;
  std::string note;
};

bool has_type(const json& node, const char* type) {
  const auto it = node.find("type");
  if (it == node.end()) return false;
  if (it->is_string()) return *it == type;
  if (it->is_array())
    return std::any_of(it->begin(), it->end(), [type](const json& t) { return t == type; });
  return false;
}

const std::string& string_field(const json& node, const char* key, const std::string& where) {
  const auto it = node.find(key);
  if (it == node.end() || !it->is_string())
    throw ShapeError(where + ": \"" + key + "\" must be a string");
  return it->get_ref<const std::string&>();
}

int64_t count_field(const json& node, const char* key, const std::string& where) {
  const auto it = node.find(key);
  if (it == node.end() || !it->is_number_unsigned() || it->get<uint64_t>() > INT32_MAX)
    throw ShapeError(where + ": \"" + key + "\" must be a whole number from 0");
  return it->get<int64_t>();
}

// The values of a property that may hold one value or an array of them.
std::vector<const json*> values(const json& node, const char* key) {
  std::vector<const json*> out;
  const auto it = node.find(key);
  if (it == node.end()) return out;
  if (it->is_array()) {
    for (const json& v : *it) out.push_back(&v);
  } else {
    out.push_back(&*it);
  }
  return out;
}

std::string note_of(const json& annotation, const std::string& where) {
  for (const json* body : values(annotation, "body")) {
    if (!body->is_object()) continue;  // a body elsewhere (an IRI) carries no text here
    if (!has_type(*body, "TextualBody") && !body->contains("value")) continue;
    const auto raw = body->find("glossmark:percentEncoded");
    if (raw != body->end()) {
      if (!raw->is_string()) throw ShapeError(where + ": the body's bytes must be a string");
      auto bytes = percent_decode(raw->get_ref<const std::string&>());
      if (!bytes) throw ShapeError(where + ": the body's bytes are not percent-encoded");
      return *bytes;
    }
    return string_field(*body, "value", where + ": the body");
  }
  return {};
}

void read_selectors(const json& target, const std::string& where, Incoming& in) {
  for (const json* selector : values(target, "selector")) {
    if (!selector->is_object()) throw ShapeError(where + ": a selector must be an object");
    if (has_type(*selector, "TextPositionSelector") && !in.position) {
      const int64_t start = count_field(*selector, "start", where);
      const int64_t end = count_field(*selector, "end", where);
      if (end < start) throw ShapeError(where + ": the position ends before it starts");
      in.position = {start, end};
      if (selector->contains("glossmark:byteStart") || selector->contains("glossmark:byteEnd")) {
        in.bytes = {count_field(*selector, "glossmark:byteStart", where),
                    count_field(*selector, "glossmark:byteEnd", where)};
      }
    } else if (has_type(*selector, "TextQuoteSelector") && !in.has_quote) {
      in.has_quote = true;
      in.exact = string_field(*selector, "exact", where);
      if (selector->contains("prefix")) in.prefix = string_field(*selector, "prefix", where);
      if (selector->contains("suffix")) in.suffix = string_field(*selector, "suffix", where);
    }
  }
}

// True when source names the document at path: the same file, or a file of the same
// name elsewhere (the document moved, or came from someone else).
struct OwnPath {
  std::string absolute;
  std::string name;
  std::string last_accepted;  // most annotations share one source: checked once
};

bool same_document(const std::string& source, OwnPath& own) {
  if (!own.last_accepted.empty() && source == own.last_accepted) return true;
  std::string_view uri = source;
  uri = uri.substr(0, uri.find_first_of("?#"));
  std::string_view uri_path = uri;
  if (uri.compare(0, 7, "file://") == 0) {
    uri_path = uri.substr(7);
    uri_path = uri_path.substr(std::min(uri_path.find('/'), uri_path.size()));  // the host
  } else if (uri.compare(0, 5, "file:") == 0) {
    uri_path = uri.substr(5);
  }
  const auto decoded = percent_decode(uri_path);
  if (!decoded || (*decoded != own.absolute && last_segment(*decoded) != own.name)) return false;
  own.last_accepted = source;
  return true;
}

Incoming read_annotation(const json& node, size_t number, OwnPath& path) {
  const std::string where = "annotation " + std::to_string(number);
  if (!node.is_object() || !has_type(node, "Annotation"))
    throw ShapeError(where + " is not an embedded Annotation");
  Incoming in;
  const auto id = node.find("id");
  in.has_id = id != node.end() && id->is_string();
  in.label = in.has_id ? id->get<std::string>() : where;

  const std::vector<const json*> targets = values(node, "target");
  if (targets.empty()) throw ShapeError(where + " has no target");
  const json* target = nullptr;
  for (const json* t : targets) {
    const json* source = t;
    if (t->is_object()) {
      const auto s = t->find("source");
      if (s == t->end()) throw ShapeError(where + ": a target without a source");
      source = &*s;
    }
    if (!source->is_string()) throw ShapeError(where + ": a target's source must be a string");
    if (same_document(source->get_ref<const std::string&>(), path)) {
      target = t;
      break;
    }
  }
  if (!target) {
    const json* t = targets.front();
    const json& source = t->is_object() ? t->at("source") : *t;
    throw ShapeError("the annotations are for another document: " + source.get<std::string>());
  }
  if (target->is_object()) {
    read_selectors(*target, where, in);
    const auto style = target->find("styleClass");
    if (style != target->end() && style->is_string()) {
      if (const auto s = style_of_class(style->get<std::string>())) in.style = *s;
    }
  }
  in.note = note_of(node, where);

  const auto created = node.find("created");
  if (created != node.end()) {
    if (!created->is_string()) throw ShapeError(where + ": \"created\" must be a string");
    in.has_time =
        parse_iso_time(created->get_ref<const std::string&>(), in.time, in.time_out_of_range);
    if (!in.has_time && !in.time_out_of_range)
      throw ShapeError(where + ": \"created\" is not a date and time with a zone");
  }
  return in;
}

// Annotations read while the file was parsed: each stands in the tree as a binary value
// (which JSON text cannot make) whose subtype is its place here.
struct EarlyReads {
  std::vector<Incoming> annotations;

  static bool is_marker(const json& node) { return node.is_binary(); }
  Incoming take(const json& marker, size_t number) {
    Incoming in = std::move(annotations[static_cast<size_t>(marker.get_binary().subtype())]);
    if (!in.has_id) in.label = "annotation " + std::to_string(number);
    return in;
  }
};

std::vector<Incoming> read_page(const json& page, size_t& number, OwnPath& path,
                                EarlyReads& early) {
  const auto items = page.find("items");
  if (items == page.end() || !items->is_array())
    throw ShapeError("an AnnotationPage without an \"items\" array");
  std::vector<Incoming> out;
  out.reserve(items->size());
  for (const json& item : *items) {
    ++number;
    out.push_back(EarlyReads::is_marker(item) ? early.take(item, number)
                                              : read_annotation(item, number, path));
  }
  return out;
}

struct Header {
  std::optional<int32_t> top_line, top_column;
  std::optional<unsigned char> default_style;
};

std::optional<int32_t> int32_field(const json& node, const char* key) {
  const auto it = node.find(key);
  if (it == node.end()) return std::nullopt;
  if (!it->is_number_integer() || it->get<int64_t>() < INT32_MIN || it->get<int64_t>() > INT32_MAX)
    throw ShapeError(std::string("the collection's \"") + key + "\" must be a 32-bit integer");
  return static_cast<int32_t>(it->get<int64_t>());
}

std::vector<Incoming> read_document(const json& root, OwnPath& path, Header& header,
                                    EarlyReads& early) {
  if (!root.is_object())
    throw ShapeError("not an AnnotationCollection, an AnnotationPage or an Annotation");
  size_t number = 0;
  if (has_type(root, "AnnotationCollection")) {
    header.top_line = int32_field(root, "glossmark:topLine");
    header.top_column = int32_field(root, "glossmark:topColumn");
    if (const auto style = int32_field(root, "glossmark:defaultStyle")) {
      if (*style < 0 || *style > 255)
        throw ShapeError("the collection's \"glossmark:defaultStyle\" must be a byte");
      header.default_style = static_cast<unsigned char>(*style);
    }
    std::vector<Incoming> all;
    const json* page = nullptr;
    if (const auto first = root.find("first"); first != root.end()) page = &*first;
    while (page) {
      if (!page->is_object() || !has_type(*page, "AnnotationPage"))
        throw ShapeError("the collection's pages must be embedded AnnotationPages");
      for (Incoming& in : read_page(*page, number, path, early)) all.push_back(std::move(in));
      const auto next = page->find("next");
      page = next == page->end() ? nullptr : &*next;
    }
    return all;
  }
  if (has_type(root, "AnnotationPage")) return read_page(root, number, path, early);
  if (has_type(root, "Annotation")) return {read_annotation(root, ++number, path)};
  throw ShapeError("not an AnnotationCollection, an AnnotationPage or an Annotation");
}

// The tree json::parse would build, made from the parser's events, except that with
// read_early each object in the "items" of a possible page (the root, its "first", and each
// "next" from there) is read as an annotation as soon as it is complete and replaced by a
// marker. A whole export then never stands in memory as a tree: parsing it that way cost
// most of an import. Whatever fails to read early stays in the tree and is read again in
// order by read_document, so every message comes out as the plain reading gives it.
class TreeBuilder {
 public:
  TreeBuilder(OwnPath& path, EarlyReads& early, bool read_early)
      : path_(path), early_(early), read_early_(read_early) {}

  json& root() { return root_; }
  const std::string& error() const { return error_; }

  bool null() { return add(nullptr); }
  bool boolean(bool v) { return add(v); }
  bool number_integer(json::number_integer_t v) { return add(v); }
  bool number_unsigned(json::number_unsigned_t v) { return add(v); }
  bool number_float(json::number_float_t v, const json::string_t&) { return add(v); }
  bool string(json::string_t& v) { return add(std::move(v)); }
  bool binary(json::binary_t&) { return false; }  // JSON text has none
  bool start_object(std::size_t) { return open(json::value_t::object); }
  bool start_array(std::size_t) { return open(json::value_t::array); }
  bool key(json::string_t& k) {
    Level& level = stack_.back();
    level.key_role = Role::other;
    if (level.role == Role::page && (k == "first" || k == "next")) level.key_role = Role::page;
    if (level.role == Role::page && k == "items") level.key_role = Role::items;
    member_ = &(*level.node)[std::move(k)];  // a repeated key: the last one counts
    return true;
  }
  bool end_object() {
    const Level level = stack_.back();
    stack_.pop_back();
    if (level.role == Role::item) read_now(*level.node);
    return true;
  }
  bool end_array() {
    stack_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    error_ = e.what();
    return false;
  }

 private:
  enum class Role { page, items, item, other };
  struct Level {
    json* node;
    Role role;
    Role key_role;  // of the value that follows the last key
  };

  // The role a new value takes in its parent.
  Role role_here() const {
    if (stack_.empty()) return Role::page;
    const Level& parent = stack_.back();
    if (parent.node->is_object()) return parent.key_role;
    return parent.role == Role::items ? Role::item : Role::other;
  }

  template <typename Value>
  json* place(Value&& v) {
    if (stack_.empty()) {
      root_ = json(std::forward<Value>(v));
      return &root_;
    }
    json& parent = *stack_.back().node;
    if (parent.is_array()) {
      parent.push_back(json(std::forward<Value>(v)));
      return &parent.back();
    }
    *member_ = json(std::forward<Value>(v));
    return member_;
  }

  template <typename Value>
  bool add(Value&& v) {
    place(std::forward<Value>(v));
    return true;
  }

  bool open(json::value_t type) {
    Role role = role_here();
    if (type == json::value_t::object && role == Role::items) role = Role::other;
    if (type == json::value_t::array && role != Role::items) role = Role::other;
    if (type == json::value_t::object && role == Role::item && !read_early_) role = Role::other;
    json* node = place(type);
    stack_.push_back({node, role, Role::other});
    return true;
  }

  void read_now(json& node) {
    try {
      early_.annotations.push_back(read_annotation(node, 0, path_));
    } catch (const ShapeError&) {
      return;  // read again in its place, for the message with its number
    } catch (const json::exception&) {
      return;
    }
    node = json::binary({}, early_.annotations.size() - 1);
  }

  OwnPath& path_;
  EarlyReads& early_;
  const bool read_early_;
  json root_;
  std::vector<Level> stack_;
  json* member_ = nullptr;
  std::string error_;
};

// ---------------------------------------------------------------------------------------
// Import: placing

struct ByteRange {
  int64_t start;
  int64_t end;
};

// A quote found again by the rules that re-anchor Tags in a changed document: its context,
// whitespace changes and small edits tolerated, never placed by a guess.
std::optional<ByteRange> find_quote(std::string_view text, const Incoming& in,
                                    std::optional<int64_t> hint) {
  if (in.exact.empty() || text.size() > static_cast<size_t>(INT32_MAX)) return std::nullopt;
  TextQuote quote;
  quote.prefix = in.prefix;
  quote.exact = in.exact;
  quote.suffix = in.suffix;
  quote.length = static_cast<int32_t>(std::min<size_t>(in.exact.size(), INT32_MAX));
  quote.collapsed = collapsed_length(quote.exact);
  std::optional<int32_t> near;
  if (hint && *hint >= 0 && *hint <= INT32_MAX) near = static_cast<int32_t>(*hint);
  const PlacedRange placed = locate_quote(text, quote, near);
  if (placed.placement != Placement::stays && placed.placement != Placement::moved)
    return std::nullopt;
  return ByteRange{placed.start, placed.end};
}

// The text in range, as a JSON reader takes it, equals exact: compared in place when the
// text there is strict UTF-8 already, as it nearly always is.
bool quote_matches(std::string_view text, ByteRange range, std::string_view exact) {
  const std::string_view there =
      text.substr(static_cast<size_t>(range.start), static_cast<size_t>(range.end - range.start));
  if (there.size() == exact.size() && is_strict_utf8(there)) return there == exact;
  return strict_utf8(there) == exact;
}

struct Placing {
  std::optional<ByteRange> range;
  const char* reason = nullptr;
};

Placing place(const Incoming& in, std::string_view text, const CodePoints& chars) {
  std::optional<ByteRange> found;
  std::optional<int64_t> hint;
  if (in.position) {
    const auto [first, last] = *in.position;
    hint = chars.byte_of(first);
    if (last <= chars.size()) {
      const ByteRange at{*hint, chars.byte_of(last)};
      if (!in.has_quote || quote_matches(text, at, in.exact)) found = at;
    }
  }
  if (!found && in.has_quote) found = find_quote(text, in, hint);
  if (!found) {
    if (!in.position && !in.has_quote) return {std::nullopt, "no text position or quote"};
    return {std::nullopt, in.has_quote ? "its quote is not in the text, or not in one place"
                                       : "its position lies beyond the text"};
  }
  // Our own byte positions, when they fall into the very characters found.
  if (in.bytes) {
    const auto [start, end] = *in.bytes;
    const auto size = static_cast<int64_t>(text.size());
    if (start < end && end <= size && chars.boundary_before(start) == found->start &&
        chars.boundary_after(end) == found->end)
      found = ByteRange{start, end};
  }
  if (found->start >= found->end) return {std::nullopt, "it covers no text"};
  return {found, nullptr};
}

struct IdentityHash {
  size_t operator()(const std::tuple<int32_t, int32_t, int32_t>& id) const {
    const auto [s, e, t] = id;
    uint64_t h = (uint64_t{static_cast<uint32_t>(s)} << 32) ^ static_cast<uint32_t>(e);
    h ^= uint64_t{static_cast<uint32_t>(t)} * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

bool comes_before(const Tag& a, const Tag& b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.end != b.end) return a.end > b.end;
  return a.time > b.time;
}

// Nested JSON deeper than this is refused before it is parsed: no annotation needs it, and
// a value nested a million times deep must not reach code that recurses. (Counted in one
// pass; the parser's own depth callback would make parsing several times slower.)
constexpr int kMaxDepth = 64;

// Where the string that begins before `from` ends: its closing quote, the first one after
// an even run of backslashes; or the text's end.
size_t string_end(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    const void* quote = std::memchr(text.data() + i, '"', text.size() - i);
    if (!quote) break;
    i = static_cast<size_t>(static_cast<const char*>(quote) - text.data());
    size_t backslashes = 0;
    while (i - backslashes > from && text[i - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return i;
  }
  return text.size();
}

int nesting_depth(std::string_view text) {
  int depth = 0, deepest = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      i = string_end(text, i + 1);  // most of an export is strings: skipped at memchr's pace
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

std::string file_uri(const std::string& path) {
  return "file://" + percent_encode(absolute_path(path), false);
}

void write_annotations(std::ostream& out, std::string_view text, const TagList& tags,
                       const std::string& document_path) {
  const Ids ids{file_uri(document_path), file_uri(document_path + ".tag")};
  const CodePoints chars(text);

  ordered_json collection;
  collection["@context"] = {kContext, {{"glossmark", kOwnTerms}}};
  collection["id"] = ids.tags;
  collection["type"] = "AnnotationCollection";
  collection["label"] =
      strict_utf8("Glossmark tags of " + last_segment(absolute_path(document_path)));
  collection["total"] = tags.size();
  collection["glossmark:topLine"] = tags.top_line;
  collection["glossmark:topColumn"] = tags.top_column;
  collection["glossmark:defaultStyle"] = tags.default_style;
  collection["stylesheet"] = {
      {"id", ids.tags + "#styles"}, {"type", "CssStylesheet"}, {"value", style_rules()}};
  std::string head = collection.dump(2);
  head.pop_back();  // the closing brace: the pages follow
  head.pop_back();
  out << head;
  if (!tags.empty()) {
    // One annotation per line: the file diffs well in version control.
    out << ",\n  \"first\": {\n    \"id\": " << ordered_json(ids.tags + "#page-1").dump()
        << ",\n    \"type\": \"AnnotationPage\",\n    \"partOf\": " << ordered_json(ids.tags).dump()
        << ",\n    \"startIndex\": 0,\n    \"items\": [\n";
    constexpr size_t kFlushAt = 1 << 20;
    std::string lines;
    lines.reserve(kFlushAt + 4096);
    for (const TagNode* n = tags.head(); n; n = n->next.get()) {
      lines += "      ";
      put_annotation(lines, *n->tag, text, chars, ids);
      if (n->next) lines += ',';
      lines += '\n';
      if (lines.size() >= kFlushAt) {
        out << lines;
        lines.clear();
      }
    }
    out << lines;
    out << "    ]\n  }";
  }
  out << "\n}\n";
}

void merge_tags(TagList& list, std::vector<std::unique_ptr<Tag>> incoming) {
  std::vector<std::unique_ptr<Tag>> existing;
  existing.reserve(list.size());
  for (TagNode* n = list.head(); n; n = n->next.get()) existing.push_back(std::move(n->tag));
  list.clear();
  size_t i = 0, j = 0;
  while (i < existing.size() || j < incoming.size()) {
    const bool take_new =
        j < incoming.size() && (i == existing.size() || comes_before(*incoming[j], *existing[i]));
    list.append_tag(std::move(take_new ? incoming[j++] : existing[i++]));
  }
}

ImportReport import_annotations(std::string_view json_text, std::string_view text,
                                const std::string& document_path, TagList& list, bool take_header,
                                Reading reading) {
  ImportReport report;
  if (nesting_depth(json_text) > kMaxDepth) {
    report.error = "not valid JSON: nested too deeply";
    return report;
  }
  const std::string absolute = absolute_path(document_path);
  OwnPath own{absolute, last_segment(absolute), {}};
  EarlyReads early;
  TreeBuilder tree(own, early, reading == Reading::streaming);
  if (!json::sax_parse(json_text, &tree)) {  // a syntax error, or a number out of range
    const std::string& what = tree.error();
    const size_t bracket = what.find("] ");
    report.error =
        "not valid JSON: " + (bracket == std::string::npos ? what : what.substr(bracket + 2));
    return report;
  }

  Header header;
  std::vector<Incoming> annotations;
  try {
    annotations = read_document(tree.root(), own, header, early);
  } catch (const ShapeError& e) {
    report.error = e.what();
    return report;
  } catch (const json::exception& e) {  // a value of another type than the reading expects
    report.error = std::string("not the shape of Web Annotations: ") + e.what();
    return report;
  }

  std::unordered_set<std::tuple<int32_t, int32_t, int32_t>, IdentityHash> seen;
  for (const TagNode* n = list.head(); n; n = n->next.get())
    seen.insert({n->tag->start, n->tag->end, n->tag->time});
  const CodePoints chars(text);
  const int32_t now = clock_time();
  std::vector<std::unique_ptr<Tag>> added;
  for (const Incoming& in : annotations) {
    if (in.time_out_of_range) {
      report.unplaced.push_back(in.label + ": its time lies outside what a tag file holds");
      continue;
    }
    const Placing placed = place(in, text, chars);
    if (!placed.range) {
      report.unplaced.push_back(in.label + ": " + placed.reason);
      continue;
    }
    const auto start = static_cast<int32_t>(placed.range->start);
    const auto end = static_cast<int32_t>(placed.range->end);
    int32_t time = in.has_time ? in.time : now;
    // Without a time of its own an annotation takes the import's, one second earlier for
    // each one already there on the same range.
    while (!in.has_time && seen.count({start, end, time}) && time > INT32_MIN) --time;
    if (!seen.insert({start, end, time}).second) {
      ++report.present;
      continue;
    }
    added.push_back(make_tag(start, end, in.style, time, in.note));
  }

  report.added = added.size();
  if (!added.empty()) merge_tags(list, std::move(added));
  if (take_header) {
    const int32_t line = header.top_line.value_or(list.top_line);
    const int32_t column = header.top_column.value_or(list.top_column);
    const unsigned char style = header.default_style.value_or(list.default_style);
    report.header_changed =
        line != list.top_line || column != list.top_column || style != list.default_style;
    list.top_line = line;
    list.top_column = column;
    list.default_style = style;
  }
  return report;
}

}  // namespace gm
