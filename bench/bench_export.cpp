// glossmark-tags' three roads on the big document with its 100,000 tags, each from the
// files to the written output, beside its floor: the same files read as plain bytes and
// the same number of bytes written.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "big_document.h"
#include "document/document.h"
#include "export/html_view.h"
#include "export/web_annotation.h"
#include "platform/progress.h"
#include "tags/tag_file.h"

namespace {

using bench::BigDocument;

int32_t ticking_clock() {
  static int32_t now = 1'900'000'000;
  return ++now;
}

// A folder for the outputs, removed at exit; progress lines off, clock that never waits.
class Outputs {
 public:
  static const Outputs& get() {
    static const Outputs outputs;
    return outputs;
  }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  ~Outputs() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  Outputs() {
    gm::set_progress_stream(nullptr);
    gm::set_time_source(&ticking_clock);
    dir_ = (std::filesystem::temp_directory_path() / "glossmark-bench-export-XXXXXX").string();
    if (!mkdtemp(&dir_[0])) dir_.clear();
  }
  std::string dir_;
};

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The floor's write: count bytes to a file in pieces of a megabyte; with sync, flushed to
// the disk as a saved tag file is.
void write_bytes(const std::string& path, size_t count, bool sync = false) {
  static const std::string piece(1 << 20, 'x');
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  for (size_t left = count; left > 0;) {
    const ssize_t n = ::write(fd, piece.data(), std::min(left, piece.size()));
    if (n <= 0) break;
    left -= static_cast<size_t>(n);
  }
  if (sync) ::fsync(fd);
  ::close(fd);
}

size_t file_size(const std::string& path) {
  std::error_code ignored;
  return static_cast<size_t>(std::filesystem::file_size(path, ignored));
}

bool open(const std::string& path, gm::DocumentState& doc, gm::TagList& tags) {
  return gm::open_document(doc, tags, path.c_str()) == 0 && doc.data;
}

void BM_Export(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  const std::string out = Outputs::get().file("export.json");
  for (auto _ : state) {
    gm::DocumentState doc;
    gm::TagList tags;
    if (!open(document.path(), doc, tags)) {
      state.SkipWithError("open_document failed");
      break;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    gm::write_annotations(file, doc.data->view(), tags, document.path());
  }
  state.counters["output_MB"] = static_cast<double>(file_size(out)) / 1e6;
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Html(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  const std::string out = Outputs::get().file("page.html");
  for (auto _ : state) {
    gm::DocumentState doc;
    gm::TagList tags;
    if (!open(document.path(), doc, tags)) {
      state.SkipWithError("open_document failed");
      break;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    gm::write_html(file, doc.data->view(), tags, "big.txt");
  }
  state.counters["output_MB"] = static_cast<double>(file_size(out)) / 1e6;
}
BENCHMARK(BM_Html)->Unit(benchmark::kMillisecond)->UseRealTime();

// Floor of both: the document and its tag file read, the output's bytes written.
void BM_ExportHtmlFloor(benchmark::State& state, const char* output) {
  const BigDocument& document = BigDocument::get();
  const std::string out = Outputs::get().file(output);
  const size_t bytes = file_size(out);
  if (bytes == 0) {
    state.SkipWithError("run the figure first: its output size is the floor's");
    return;
  }
  const std::string floor = Outputs::get().file(std::string("floor-") + output);
  for (auto _ : state) {
    benchmark::DoNotOptimize(read_bytes(document.path()).size());
    benchmark::DoNotOptimize(read_bytes(document.path() + ".tag").size());
    write_bytes(floor, bytes);
  }
  state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK_CAPTURE(BM_ExportHtmlFloor, export, "export.json")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ExportHtmlFloor, html, "page.html")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Import of the whole export into the document's copy that has no tag file: every
// annotation placed by its position and checked against its quote, then saved.
struct ImportSetup {
  std::string document;  // a copy of the big document without a tag file
  std::string json;
  std::string json_path;
  std::string tag_path;
  ImportSetup() {
    const BigDocument& big = BigDocument::get();
    document = Outputs::get().file("big.txt");
    std::filesystem::copy_file(big.path(), document,
                               std::filesystem::copy_options::overwrite_existing);
    gm::DocumentState doc;
    gm::TagList tags;
    if (!open(big.path(), doc, tags)) return;
    std::ostringstream out;
    gm::write_annotations(out, doc.data->view(), tags, document);
    json = out.str();
    json_path = Outputs::get().file("import.json");
    std::ofstream(json_path, std::ios::binary) << json;
    tag_path = document + ".tag";
  }
};

const ImportSetup& import_setup() {
  static const ImportSetup setup;
  return setup;
}

void BM_Import(benchmark::State& state) {
  const ImportSetup& setup = import_setup();
  size_t added = 0;
  for (auto _ : state) {
    std::filesystem::remove(setup.tag_path);
    gm::DocumentState doc;
    gm::TagList tags;
    if (setup.json.empty() || !open(setup.document, doc, tags)) {
      state.SkipWithError("no document or no export");
      break;
    }
    const std::string json = read_bytes(setup.json_path);
    const gm::ImportReport report =
        gm::import_annotations(json, doc.data->view(), setup.document, tags, true);
    added = report.added;
    if (report.error || gm::write_tag_file(tags, setup.tag_path.c_str()) != 0) {
      state.SkipWithError("import failed");
      break;
    }
  }
  state.counters["tags"] = static_cast<double>(added);
  state.counters["input_MB"] = static_cast<double>(setup.json.size()) / 1e6;
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime();

// Its floor: the document and the annotations read, the tag file's bytes written.
void BM_ImportFloor(benchmark::State& state) {
  const ImportSetup& setup = import_setup();
  const size_t bytes = file_size(BigDocument::get().path() + ".tag");
  const std::string floor = Outputs::get().file("floor.tag");
  for (auto _ : state) {
    benchmark::DoNotOptimize(read_bytes(setup.document).size());
    benchmark::DoNotOptimize(read_bytes(setup.json_path).size());
    write_bytes(floor, bytes, true);
  }
}
BENCHMARK(BM_ImportFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
