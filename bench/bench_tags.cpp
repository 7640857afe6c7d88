// Big documents and many Tags: painting, and reading and writing the tag file beside their
// floors (the same bytes read whole, or the same Tags linked into a list from memory; the
// same bytes written to a temporary file, flushed to disk and renamed over the old one with
// the folder flushed too, which is what a safe save cannot do without; in place, the same
// bytes written and flushed twice, once as the recovery copy and once into the file).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "big_document.h"
#include "tags/styles.h"
#include "tags/tag.h"
#include "tags/tag_file.h"

namespace {

namespace fs = std::filesystem;

int32_t next_second() {
  static int32_t now = 1'600'000'000;
  return ++now;
}

// `count` Tags over `length` bytes in list order: a mix of short, nested and long ranges,
// a fifth of them with a note.
void fill_list(gm::TagList& list, int32_t length, int count) {
  std::mt19937 rng(42);
  const int32_t step = length / count;
  for (int i = 0; i < count; ++i) {
    const int32_t start = i * step + static_cast<int32_t>(rng() % static_cast<uint32_t>(step));
    const int32_t span = i % 50 == 0 ? step * 40 : 1 + static_cast<int32_t>(rng() % (step * 2));
    const int32_t end = std::min(length, start + span);
    const unsigned char style = static_cast<unsigned char>('A' + rng() % 58);
    list.append_tag(gm::make_tag(start, end, style, 1'000'000 + i,
                                 i % 5 == 0 ? "a note of a few words\nand a second line" : ""));
  }
}

struct TempDir {
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "gm-bench-XXXXXX").string();
    path = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    if (!path.empty()) fs::remove_all(path);
  }
  std::string path;
};

constexpr int32_t kDocument = 100'000'000;

void BM_PaintWholeDocument(benchmark::State& state) {
  gm::set_time_source(&next_second);
  gm::TagList list;
  fill_list(list, kDocument, bench::tag_count());
  std::vector<char> out(kDocument);
  if (!list.in_order()) state.SkipWithError("the list should take the sorted route");
  for (auto _ : state) {
    gm::paint_styles(list, 0, kDocument, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kDocument});
}
BENCHMARK(BM_PaintWholeDocument)->Unit(benchmark::kMillisecond);

void BM_ReadTagFile(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  {
    gm::TagList list;
    fill_list(list, kDocument, bench::tag_count());
    gm::write_tag_file(list, file.c_str());
  }
  gm::TagList list;
  for (auto _ : state) {
    if (gm::read_tag_file(list, file.c_str()) != 0) state.SkipWithError("read failed");
  }
  state.counters["records"] = static_cast<double>(list.size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_ReadTagFile)->Unit(benchmark::kMillisecond);

std::string bytes_of(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_ReadTagFileFloor(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  {
    gm::TagList list;
    fill_list(list, kDocument, bench::tag_count());
    gm::write_tag_file(list, file.c_str());
  }
  const size_t size = fs::file_size(file);
  for (auto _ : state) {
    std::string bytes(size, '\0');
    FILE* in = std::fopen(file.c_str(), "rb");
    if (!in || std::fread(&bytes[0], 1, size, in) != size) state.SkipWithError("read failed");
    if (in) std::fclose(in);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(BM_ReadTagFileFloor)->Unit(benchmark::kMillisecond);

// What any reader has to build: the same Tags, notes included, made and linked into a list
// that replaces the last one, from values already in memory.
void BM_ReadTagFileListFloor(benchmark::State& state) {
  gm::set_time_source(&next_second);
  gm::TagList source;
  fill_list(source, kDocument, bench::tag_count());
  gm::TagList list;
  for (auto _ : state) {
    list.clear();
    for (const gm::TagNode* n = source.head(); n; n = n->next.get())
      list.append_tag(gm::copy_tag(*n->tag));
  }
  state.counters["records"] = static_cast<double>(list.size());
}
BENCHMARK(BM_ReadTagFileListFloor)->Unit(benchmark::kMillisecond);

void BM_WriteTagFile(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  gm::TagList list;
  fill_list(list, kDocument, bench::tag_count());
  for (auto _ : state) {
    if (gm::write_tag_file(list, file.c_str()) != 0) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_WriteTagFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteTagFileFloor(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  {
    gm::TagList list;
    fill_list(list, kDocument, bench::tag_count());
    gm::write_tag_file(list, file.c_str());
  }
  const std::string bytes = bytes_of(file);
  for (auto _ : state) {
    std::string temp = file + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    const bool ok = fd >= 0 &&
                    write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                    fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) state.SkipWithError("write failed");
    // The rename itself reaches the disk with the folder.
    const int folder = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_WriteTagFileFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// A hard-linked tag file is written in place behind a recovery copy.
void BM_WriteTagFileInPlace(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  setenv("XDG_STATE_HOME", dir.path.c_str(), 1);
  const std::string file = dir.path + "/bench.tag";
  gm::TagList list;
  fill_list(list, kDocument, bench::tag_count());
  gm::write_tag_file(list, file.c_str());
  link(file.c_str(), (dir.path + "/second-name.tag").c_str());
  for (auto _ : state) {
    if (gm::write_tag_file(list, file.c_str()) != 0) state.SkipWithError("write failed");
  }
  unsetenv("XDG_STATE_HOME");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_WriteTagFileInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteTagFileInPlaceFloor(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  {
    gm::TagList list;
    fill_list(list, kDocument, bench::tag_count());
    gm::write_tag_file(list, file.c_str());
  }
  const std::string bytes = bytes_of(file);
  const auto write_durably = [&](const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool ok = fd >= 0 &&
                    write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                    fsync(fd) == 0;
    if (fd >= 0) close(fd);
    return ok;
  };
  for (auto _ : state) {
    if (!write_durably(dir.path + "/copy") || !write_durably(file))
      state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_WriteTagFileInPlaceFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
