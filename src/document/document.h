// Opening a document into memory: read, check and convert the encoding, read its tag file
// into the TagList and fit the Tags to the text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/text_block.h"
#include "tags/anchor_file.h"
#include "tags/reanchor.h"
#include "tags/tag.h"
#include "tags/tag_document.h"

namespace gm {

struct DocumentState {
  // The text, always UTF-8; none when not loaded. Never changed once loaded: the text buffer
  // shows these very bytes, and the anchor basis's worker reads them, holding them too.
  std::shared_ptr<const TextBlock> data;
  std::optional<std::string> path;         // as handed to open_document; kept until the next success
  std::optional<std::string> display_path; // UTF-8 form of a path that is not UTF-8
  // What every save's anchor file takes from the text, made once on a worker thread.
  std::shared_future<std::shared_ptr<const AnchorBasis>> anchor_basis;

  // The text goes, and its basis first (the last holder waits for the worker).
  void forget_text() {
    anchor_basis = {};
    data.reset();
  }
};

// A document read into memory and not open yet: its text (always UTF-8), its path, the path's
// UTF-8 form when the path is not UTF-8, and its Tags, fitted to the text.
struct LoadedDocument {
  std::shared_ptr<TextBlock> text = std::make_shared<TextBlock>();
  std::string path;
  std::optional<std::string> display_path;
  TagList tags{TagList::Carrier{}};
  // From the anchor file beside the tag file: the Tags that could not be placed, and, when
  // the document changed since that file was written, where the Tags' text went (to be
  // applied as one undoable step once the document is open) and how many followed it.
  std::vector<UnplacedTag> unplaced;
  TextFollowing following;
  std::optional<ReanchorCounts> followed;
};

// Reads a document and its tag file; nothing of the open document changes. Where the tag file
// leaves them alone (it cannot be opened), the Tags keep the view position and default style
// of `open_tags`. None on failure, after its diagnostic lines, also when memory runs out.
std::unique_ptr<LoadedDocument> load_document(const char* path, const TagList& open_tags);

// The loaded document becomes the open one: its text, paths and Tags take their places.
void adopt_document(DocumentState& doc, TagList& tags, LoadedDocument& loaded);

// Both steps. 0 on success, -1 on failure. Failure leaves data none and everything else
// unchanged.
int open_document(DocumentState& doc, TagList& tags, const char* path);

// "<path>.tag"
std::string tag_file_name(const std::string& document_path);

// Starts the basis of the open document's anchor files on a worker thread, so that saves
// need not wait for a pass over the text.
void prepare_anchors(DocumentState& doc);

// The anchor file of a save, written right after the tag file with the same safety, from the
// open document's text (its basis: started here when prepare_anchors was not called), the
// Tags as just written and the Tags that could not be placed. 0, or -1 after a line on
// standard error.
int save_anchors(DocumentState& doc, const TagList& tags, const std::vector<UnplacedTag>& unplaced);

}  // namespace gm
