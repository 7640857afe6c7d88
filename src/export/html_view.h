// The annotated document as one self-contained HTML page: the text in the Editor's
// styles, each tagged stretch painted by the Tag that rules it (the Editor's rule), its
// note on hover, and a list of all Tags beside the text, linked both ways. Inline CSS
// only; a content security policy forbids scripts and fetching anything.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "tags/tag.h"

namespace gm {

// Large texts are cut into parts of about this many bytes at line ends; the browser
// lays out only the parts near the view (content-visibility), so a page of tens of
// megabytes still opens.
constexpr size_t kHtmlPartBytes = 64 * 1024;

void write_html(std::ostream& out, std::string_view text, const TagList& tags,
                const std::string& title);

// Text for HTML: & < > " ' as references, control bytes but tab and line ends as their
// visible pictures (U+2400...), and bytes a strict reader refuses as U+FFFD.
void append_html_text(std::string& out, std::string_view text);

}  // namespace gm
