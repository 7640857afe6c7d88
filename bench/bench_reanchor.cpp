// Tags following their text on the big document (100 MB, 100,000 Tags), each beside its
// floor, reading the document and hashing it, which any check for a changed document pays:
//   - an unchanged document: read, fingerprint, read the anchor file, compare;
//   - a line inserted near the start: the same, then every Tag re-anchored;
//   - the anchor file made, encoded and written, as a save would.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "big_document.h"
#include "document/reader.h"
#include "tags/anchor_file.h"
#include "tags/reanchor.h"
#include "tags/tag_file.h"

namespace {

namespace fs = std::filesystem;

int32_t next_second() {
  static int32_t now = 1'700'000'000;
  return ++now;
}

// The big document's Tags with an anchor file saved against it, and a copy of the document
// with a line inserted 1000 bytes in.
struct Saved {
  gm::TagList tags;
  std::string anchor_path, edited_path;
  bool ok = false;

  static Saved& get() {
    static Saved saved;
    return saved;
  }

 private:
  Saved() {
    gm::set_time_source(&next_second);
    const bench::BigDocument& doc = bench::BigDocument::get();
    const bench::QuietStdout quiet;
    std::string text;
    if (gm::read_whole_file(text, doc.path().c_str()) < 0) return;
    if (gm::read_tag_file(tags, (doc.path() + ".tag").c_str()) != 0) return;
    const std::optional<gm::Fingerprint> tag_file = gm::fingerprint_file(doc.path() + ".tag");
    if (!tag_file) return;
    anchor_path = doc.path() + ".tag.anchor";
    const std::string bytes =
        gm::encode_anchor_file(gm::make_anchor_file(text, tags, *tag_file, {}));
    if (gm::write_anchor_file(anchor_path, bytes) != 0) return;
    const size_t line = text.find('\n', 1000) + 1;
    text.insert(line, "A line added near the start by another editor.\n");
    edited_path = (fs::path(doc.path()).parent_path() / "edited.txt").string();
    if (FILE* f = std::fopen(edited_path.c_str(), "wb")) {
      ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
      std::fclose(f);
    }
  }
};

// Read and fingerprinted: what telling a changed document from an unchanged one needs.
gm::Fingerprint read_and_hash(const std::string& path, std::string& text) {
  text.clear();
  gm::read_whole_file(text, path.c_str());
  return gm::fingerprint(text);
}

void BM_ReadAndHashFloor(benchmark::State& state) {
  const Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  for (auto _ : state) benchmark::DoNotOptimize(read_and_hash(saved.edited_path, text));
  state.counters["document_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ReadAndHashFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenUnchangedCheck(benchmark::State& state) {
  const Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  const gm::Fingerprint tag_file = *gm::fingerprint_file(bench::BigDocument::get().path() + ".tag");
  for (auto _ : state) {
    const gm::Fingerprint document = read_and_hash(bench::BigDocument::get().path(), text);
    const std::optional<gm::AnchorFile> file = gm::read_anchor_file(saved.anchor_path, false);
    if (!file || gm::anchor_state(*file, tag_file, document) != gm::AnchorState::document_unchanged)
      return state.SkipWithError("the anchor file does not fit");
  }
}
BENCHMARK(BM_OpenUnchangedCheck)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReanchorAfterEditNearStart(benchmark::State& state) {
  Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  gm::ReanchorCounts counts;
  for (auto _ : state) {
    read_and_hash(saved.edited_path, text);
    const std::optional<gm::AnchorFile> file = gm::read_anchor_file(saved.anchor_path);
    if (!file) return state.SkipWithError("no anchor file");
    counts = gm::reanchor(text, saved.tags, *file).counts;
  }
  state.counters["followed"] = static_cast<double>(counts.followed());
  state.counters["not_placed"] = static_cast<double>(counts.not_placed());
}
BENCHMARK(BM_ReanchorAfterEditNearStart)->Unit(benchmark::kMillisecond)->UseRealTime();

// The re-anchoring alone, the document and the anchor file already in memory.
void BM_ReanchorOnly(benchmark::State& state) {
  Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  read_and_hash(saved.edited_path, text);
  const std::optional<gm::AnchorFile> file = gm::read_anchor_file(saved.anchor_path);
  if (!file) return state.SkipWithError("no anchor file");
  for (auto _ : state) benchmark::DoNotOptimize(gm::reanchor(text, saved.tags, *file));
}
BENCHMARK(BM_ReanchorOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// A save's share: the anchors taken from the text, encoded and written safely.
void BM_WriteAnchorFile(benchmark::State& state) {
  Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  const gm::Fingerprint tag_file = *gm::fingerprint_file(bench::BigDocument::get().path() + ".tag");
  read_and_hash(bench::BigDocument::get().path(), text);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string encoded =
        gm::encode_anchor_file(gm::make_anchor_file(text, saved.tags, tag_file, {}));
    bytes = encoded.size();
    if (gm::write_anchor_file(saved.anchor_path, encoded) != 0)
      return state.SkipWithError("write failed");
  }
  state.counters["anchor_file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_WriteAnchorFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
