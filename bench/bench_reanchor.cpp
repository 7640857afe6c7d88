// Tags following their text on the big document (100 MB, 100,000 Tags), each beside its
// floor:
//   - an unchanged document: read, fingerprint, read the anchor file, compare; beside
//     reading alone (an open without an anchor file) and reading and hashing;
//   - a line inserted near the start: the same, then every Tag re-anchored;
//   - the basis of the anchor file, once per opened document;
//   - the anchor file made, encoded and written, as a save would, beside the tag file of
//     the same Tags written as a save writes it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
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
  std::string text;  // the document as saved
  std::unique_ptr<gm::AnchorBasis> basis;
  gm::Fingerprint tag_file;
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
    if (gm::read_whole_file(text, doc.path().c_str()) < 0) return;
    if (gm::read_tag_file(tags, (doc.path() + ".tag").c_str()) != 0) return;
    const std::optional<gm::Fingerprint> fingerprint = gm::fingerprint_file(doc.path() + ".tag");
    if (!fingerprint) return;
    tag_file = *fingerprint;
    basis = std::make_unique<gm::AnchorBasis>(text);
    anchor_path = gm::anchor_file_name(doc.path());
    if (gm::save_anchor_file(doc.path(), *basis, text, tags, {}, tag_file) != 0) return;
    std::string edited = text;
    const size_t line = edited.find('\n', 1000) + 1;
    edited.insert(line, "A line added near the start by another editor.\n");
    edited_path = (fs::path(doc.path()).parent_path() / "edited.txt").string();
    if (FILE* f = std::fopen(edited_path.c_str(), "wb")) {
      ok = std::fwrite(edited.data(), 1, edited.size(), f) == edited.size();
      std::fclose(f);
    }
  }
};

// An open without an anchor file reads the document and nothing more of it.
void BM_ReadFloor(benchmark::State& state) {
  const Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  std::string text;
  for (auto _ : state) {
    text.clear();
    benchmark::DoNotOptimize(gm::read_whole_file(text, bench::BigDocument::get().path().c_str()));
  }
}
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  const gm::Fingerprint tag_file = saved.tag_file;
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

// Once per opened document (on a worker thread): the fingerprint, the block hashes and the
// running hashes every save cuts its gaps from.
void BM_AnchorBasis(benchmark::State& state) {
  const Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  for (auto _ : state) benchmark::DoNotOptimize(gm::AnchorBasis(saved.text));
}
BENCHMARK(BM_AnchorBasis)->Unit(benchmark::kMillisecond)->UseRealTime();

// A save's share: the anchors taken from the text, encoded and written safely.
void BM_WriteAnchorFile(benchmark::State& state) {
  Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  const std::string& path = bench::BigDocument::get().path();
  for (auto _ : state)
    if (gm::save_anchor_file(path, *saved.basis, saved.text, saved.tags, {}, saved.tag_file) != 0)
      return state.SkipWithError("write failed");
  state.counters["anchor_file_MB"] = static_cast<double>(fs::file_size(saved.anchor_path)) / 1e6;
}
BENCHMARK(BM_WriteAnchorFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Its floor: the tag file of the same Tags, written as a save writes it.
void BM_WriteTagFileOfTheseTags(benchmark::State& state) {
  Saved& saved = Saved::get();
  if (!saved.ok) return state.SkipWithError("setup failed");
  const std::string path =
      (fs::path(bench::BigDocument::get().path()).parent_path() / "saved-again.txt.tag").string();
  const bench::QuietStdout quiet;
  for (auto _ : state)
    if (gm::write_tag_file(saved.tags, path.c_str()) != 0) return state.SkipWithError("write failed");
  state.counters["tag_file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}
BENCHMARK(BM_WriteTagFileOfTheseTags)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
