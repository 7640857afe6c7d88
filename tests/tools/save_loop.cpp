// Saves a tag file over and over, alternating two versions, until it is killed; the test
// that kills it checks that the file is always one whole version.
//
//   save_loop TAGFILE FIRST SECOND
//
// Reads TAGFILE; the list as read is the first version, the same list with every note
// rewritten and another default style the second. Writes both versions once to FIRST and
// SECOND (the reference bytes), prints "ready", then replaces TAGFILE with the second, the
// first, the second... printing "saved N" after each.
//
//   save_loop --make COUNT TAGFILE
//
// Writes a tag file of COUNT Tags with notes to start from.
//
//   save_loop --open DOCUMENT
//
// Opens the document as the program does (which puts back what an interrupted save left).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/document.h"
#include "tags/tag.h"
#include "tags/tag_file.h"

namespace {

// A new TagList takes a fresh time stamp, which with the real clock means waiting for the next
// second; the Tags here carry times of their own.
int32_t counting_clock() {
  static int32_t now = 1700000000;
  return ++now;
}

void make_second_version(gm::TagList& list) {
  list.default_style = list.default_style == 'C' ? 'D' : 'C';
  for (gm::TagNode* n = list.head(); n; n = n->next.get()) {
    gm::Tag& tag = *n->tag;
    // A longer note shifts every later record: a torn file would show it at once.
    const std::string note = "second version of " + std::string(tag.note());
    auto changed = gm::make_tag(tag.start, tag.end, tag.style, tag.time, note);
    tag.textsize = changed->textsize;
    tag.text = std::move(changed->text);
  }
}

int make_tag_file(int count, const char* path) {
  gm::TagList list;
  for (int i = 0; i < count; ++i) {
    auto tag =
        gm::make_tag(i * 10, i * 10 + 5, static_cast<unsigned char>('B' + i % 50), 1000000 + i,
                     "note number " + std::to_string(i) + " of the first version");
    list.append_tag(std::move(tag));
  }
  return gm::write_tag_file(list, path) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--make") == 0) {
    gm::set_time_source(counting_clock);
    return make_tag_file(std::atoi(argv[2]), argv[3]);
  }
  if (argc == 3 && std::strcmp(argv[1], "--open") == 0) {
    gm::set_time_source(counting_clock);
    gm::DocumentState doc;
    gm::TagList tags;
    return gm::open_document(doc, tags, argv[2]) == 0 ? 0 : 1;
  }
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: save_loop TAGFILE FIRST SECOND | save_loop --make COUNT TAGFILE | "
                 "save_loop --open DOCUMENT\n");
    return 2;
  }
  gm::set_time_source(counting_clock);
  const char* target = argv[1];
  gm::TagList first;
  gm::TagList second;
  if (gm::read_tag_file(first, target) != 0 || gm::read_tag_file(second, target) != 0) return 1;
  make_second_version(second);
  if (gm::write_tag_file(first, argv[2]) != 0 || gm::write_tag_file(second, argv[3]) != 0) return 1;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::puts("ready");
  for (long round = 1;; ++round) {
    gm::TagList& version = round % 2 ? second : first;
    if (gm::write_tag_file(version, target) != 0) return 1;
    std::printf("saved %ld\n", round);
  }
}
