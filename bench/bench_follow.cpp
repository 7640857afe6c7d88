// The program's side of Tags following their text, on the big document (100 MB, 100,000
// Tags), each beside its floor in the same run:
//   - a document changed near its start opened into the main window (read, fingerprints,
//     every Tag re-anchored, shown, the moves applied as one step and repainted, listed),
//     beside the same document and tag file opened without an anchor file, as before;
//   - the same for the unchanged document: only the fingerprints are compared;
//   - Ctrl+S with the anchor file (its basis made) as the user waits for it, the anchor file
//     of the save before already written, beside writing the tag file alone; and until the
//     anchor file, written on a worker, is on the disk too.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_window.h"
#include "document/document.h"
#include "document/reader.h"
#include "tags/anchor_file.h"
#include "tags/tag_file.h"

namespace {

namespace fs = std::filesystem;

// Beside the big document, each with its tag file: "changed.txt" (a line inserted 1000 bytes
// in) and "same.txt" (the big document) with the anchor file saved against the big document;
// "plain.txt" and "bare.txt", the same without an anchor file; "saving.txt", to save.
struct Files {
  std::string changed, plain, same, bare, saving;
  bool ok = false;

  static const Files& get() {
    static const Files files;
    return files;
  }

 private:
  Files() {
    const bench::BigDocument& doc = bench::BigDocument::get();
    const fs::path dir = fs::path(doc.path()).parent_path();
    const auto name = [&](const char* file) { return (dir / file).string(); };
    changed = name("changed.txt");
    plain = name("plain.txt");
    same = name("same.txt");
    bare = name("bare.txt");
    saving = name("saving.txt");
    const bench::QuietStdout quiet;
    std::string text;
    gm::TagList tags;
    if (gm::read_whole_file(text, doc.path().c_str()) < 0) return;
    if (gm::read_tag_file(tags, (doc.path() + ".tag").c_str()) != 0) return;
    const std::optional<gm::Fingerprint> tag_file = gm::fingerprint_file(doc.path() + ".tag");
    if (!tag_file) return;
    const std::string anchors =
        gm::encode_anchor_file(gm::make_anchor_file(text, tags, *tag_file, {}));
    if (gm::write_anchor_file(gm::anchor_file_name(changed), anchors) != 0) return;
    if (gm::write_anchor_file(gm::anchor_file_name(same), anchors) != 0) return;
    text.insert(text.find('\n', 1000) + 1, "A line added near the start by another editor.\n");
    std::error_code error;
    const auto copy_tags = [&](const std::string& path) {
      fs::copy_file(doc.path() + ".tag", path + ".tag", fs::copy_options::overwrite_existing,
                    error);
      return !error;
    };
    for (const std::string& path : {changed, plain}) {
      if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
      }
      if (!copy_tags(path)) return;
    }
    for (const std::string& path : {same, bare, saving}) {
      fs::create_hard_link(doc.path(), path, error);
      if (error || !copy_tags(path)) return;
    }
    ok = true;
  }
};

void open_in_window(benchmark::State& state, const std::string& path) {
  if (!bench::have_display(state)) return;
  if (!Files::get().ok) return state.SkipWithError("setup failed");
  bool followed = false;
  for (auto _ : state) {
    std::unique_ptr<gm::Program> app = bench::open_in_main_window(path);
    state.PauseTiming();
    if (!app) {
      state.SkipWithError("the document did not open");
      break;
    }
    followed = app->document.tags.unsaved();  // the step was made
    app.reset();
    bench::draw_now();
    state.ResumeTiming();
  }
  state.counters["followed"] = followed ? 1 : 0;
}

void BM_OpenChangedFollowingText(benchmark::State& state) {
  open_in_window(state, Files::get().changed);
}
BENCHMARK(BM_OpenChangedFollowingText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenChangedFloorNoAnchors(benchmark::State& state) {
  open_in_window(state, Files::get().plain);
}
BENCHMARK(BM_OpenChangedFloorNoAnchors)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenUnchangedWithAnchors(benchmark::State& state) {
  open_in_window(state, Files::get().same);
}
BENCHMARK(BM_OpenUnchangedWithAnchors)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenUnchangedFloorNoAnchors(benchmark::State& state) {
  open_in_window(state, Files::get().bare);
}
BENCHMARK(BM_OpenUnchangedFloorNoAnchors)->Unit(benchmark::kMillisecond)->UseRealTime();

enum class Save { tag_file_only, as_the_user_waits, anchor_file_written };

void save(benchmark::State& state, Save what) {
  if (!bench::have_display(state)) return;
  if (!Files::get().ok) return state.SkipWithError("setup failed");
  std::unique_ptr<gm::Program> app = bench::open_in_main_window(Files::get().saving);
  if (!app) return state.SkipWithError("the document did not open");
  gm::Program& program = *app;
  program.document.file.anchor_basis.wait();  // made while the user looks at the document
  const bench::QuietStdout quiet;
  for (auto _ : state) {
    if (what == Save::as_the_user_waits) {
      state.PauseTiming();
      gm::wait_for_anchors(program.document.file);
      state.ResumeTiming();
    }
    const int result = what == Save::tag_file_only
                           ? program.document.tags.save(
                                 gm::tag_file_name(*program.document.file.path), program.view.top())
                           : program.commands.save_tags();
    if (result != 0) return state.SkipWithError("the save failed");
    if (what == Save::anchor_file_written && gm::wait_for_anchors(program.document.file) != 0)
      return state.SkipWithError("the anchor file was not written");
  }
  gm::wait_for_anchors(program.document.file);
}

void BM_SaveWithAnchorFile(benchmark::State& state) { save(state, Save::as_the_user_waits); }
BENCHMARK(BM_SaveWithAnchorFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveAnchorFileWritten(benchmark::State& state) { save(state, Save::anchor_file_written); }
BENCHMARK(BM_SaveAnchorFileWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveFloorTagFileOnly(benchmark::State& state) { save(state, Save::tag_file_only); }
BENCHMARK(BM_SaveFloorTagFileOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
