// The HTML page: nothing from the document or the notes becomes markup, the text reads
// back whole in the Editor's styles with the Editor's rule, and the links meet.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "../unit/tags_test_support.h"
#include "export/html_view.h"
#include "export/style_css.h"
#include "tags/styles.h"

namespace gm {
namespace {

std::string page(std::string_view text, const TagList& tags) {
  std::ostringstream out;
  write_html(out, text, tags, "doc.txt");
  return out.str();
}

std::string unescape(const std::string& s) {
  static const std::map<std::string, char> references = {{"&lt;", '<'},   {"&gt;", '>'},
                                                         {"&quot;", '"'}, {"&#39;", '\''},
                                                         {"&#10;", '\n'}, {"&amp;", '&'}};
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      const size_t end = s.find(';', i);
      out += references.at(s.substr(i, end + 1 - i));
      i = end;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The text of the page's main part with the style class of every character.
struct Painted {
  std::string text;
  std::string classes;  // one per byte: the class number's letter ('A' + number)
};

Painted read_back(const std::string& html, char background) {
  const size_t begin = html.find("<main id=\"text\">"), end = html.find("</main>");
  Painted out;
  char current = background;
  for (size_t i = begin; i < end;) {
    if (html[i] == '<') {
      const size_t close = html.find('>', i);
      const std::string tag = html.substr(i, close + 1 - i);
      if (tag.rfind("<a class=\"gm-s", 0) == 0)
        current = static_cast<char>('A' + std::stoi(tag.substr(14, 2)));
      else if (tag == "</a>")
        current = background;
      i = close + 1;
    } else {
      const size_t next = html.find('<', i);
      const std::string plain = unescape(html.substr(i, next - i));
      out.text += plain;
      out.classes.append(plain.size(), current);
      i = next;
    }
  }
  return out;
}

// The values of every attribute `name="..."` in the page.
std::set<std::string> attributes(const std::string& html, const std::string& name) {
  std::set<std::string> out;
  const std::string key = " " + name + "=\"";
  for (size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + 1)) {
    const size_t from = at + key.size();
    out.insert(html.substr(from, html.find('"', from) - from));
  }
  return out;
}

TEST(HtmlViewTest, NothingFromTheDocumentOrTheNotesBecomesMarkup) {
  test::CountingClock clock;
  const std::string text = "Dear </pre><script>alert(1)</script> & \"friends\" 'x'\x1A\n";
  TagList tags;
  auto tag = make_tag(0, 4, 'B', unique_time(), "<script>alert(1)</script>\" onmouseover=\"x");
  tags.insert_tag(tag);
  const std::string html = page(text, tags);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("onmouseover=\""), std::string::npos);
  EXPECT_NE(html.find("&lt;/pre&gt;&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("\xE2\x90\x9A"), std::string::npos) << "the zero byte's stand-in shows";
  EXPECT_NE(html.find("Content-Security-Policy"), std::string::npos);
}

TEST(HtmlViewTest, TextReadsBackWholeInTheStylesOfTheRulingTagsWithLinksBothWays) {
  test::CountingClock clock;
  std::mt19937 rng(5);
  // Long enough to be cut into parts, with runs crossing the cuts.
  std::string text;
  while (text.size() < 3 * kHtmlPartBytes) text += rng() % 9 ? "wörd " : "line\n";
  const auto size = static_cast<int32_t>(text.size());
  TagList tags;
  tags.default_style = 'E';
  for (int i = 0; i < 300; ++i) {
    const auto start = static_cast<int32_t>(rng() % size);
    const auto end = start + 1 + static_cast<int32_t>(rng() % std::min(size - start, 90000));
    auto tag =
        make_tag(start, end, static_cast<unsigned char>('A' + rng() % 58), unique_time(), "n");
    tags.insert_tag(tag);
  }
  const std::string html = page(text, tags);
  const Painted painted = read_back(html, 'A' + ('E' - 'A'));
  ASSERT_TRUE(painted.text == text)
      << "first difference at byte "
      << std::mismatch(text.begin(), text.end(), painted.text.begin()).first - text.begin();
  std::vector<char> expected(text.size());
  paint_styles(tags, 0, size, expected.data());
  for (int32_t p = 0; p < size; ++p) {
    // A character takes the style of its first byte.
    const int32_t first = (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80 ? p - 1 : p;
    ASSERT_EQ(painted.classes[p], expected[first]) << "byte " << p;
  }
  EXPECT_GT(std::count(html.begin(), html.end(), '\n'), 0);
  EXPECT_NE(html.find("<div class=\"part\">", html.find("<div class=\"part\">") + 1),
            std::string::npos);

  const std::set<std::string> ids = attributes(html, "id");
  std::set<std::string> targets;
  for (const std::string& h : attributes(html, "href")) targets.insert(h.substr(1));
  for (size_t k = 1; k <= tags.size(); ++k) {
    EXPECT_TRUE(ids.count("tag-" + std::to_string(k)) && ids.count("at-" + std::to_string(k))) << k;
    EXPECT_TRUE(targets.count("at-" + std::to_string(k))) << k;
  }
  for (const std::string& t : targets) EXPECT_TRUE(ids.count(t)) << t;
}

TEST(HtmlViewTest, StyleColoursAreTheToolkitsOwn) {
  for (int i = 0; i < kStyleCount; ++i) {
    unsigned char r, g, b;
    Fl::get_color(kStyleTable[i].color, r, g, b);
    EXPECT_EQ(toolkit_rgb(kStyleTable[i].color), uint32_t{r} << 16 | uint32_t{g} << 8 | b) << i;
    EXPECT_EQ(style_of_class(style_class(static_cast<unsigned char>('A' + i))), 'A' + i);
  }
}

}  // namespace
}  // namespace gm
