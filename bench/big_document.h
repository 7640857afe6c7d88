// A 100 MB UTF-8 document with 100,000 tags in its tag file (GLOSSMARK_BENCH_TAGS sets
// another count, GLOSSMARK_BENCH_MB another size for the benchmarks of the open), made once
// per benchmark run and removed at exit; and a guard that silences the progress lines of
// each open.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

inline constexpr size_t kDefaultDocumentBytes = 100u * 1000 * 1000;
inline constexpr int32_t kDefaultTagCount = 100000;

// The big document's size: GLOSSMARK_BENCH_MB megabytes, or 100. The edit, search and hover
// benchmarks aim at places of the 100 MB document; only the open's figures scale with it.
inline size_t document_bytes() {
  static const size_t bytes = [] {
    const char* value = std::getenv("GLOSSMARK_BENCH_MB");
    const long parsed = value ? std::strtol(value, nullptr, 10) : 0;
    return parsed > 0 && parsed <= 2000 ? static_cast<size_t>(parsed) * 1000 * 1000
                                        : kDefaultDocumentBytes;
  }();
  return bytes;
}

// The number of tags in the big document's tag file: GLOSSMARK_BENCH_TAGS, or 100,000.
inline int32_t tag_count() {
  static const int32_t count = [] {
    const char* value = std::getenv("GLOSSMARK_BENCH_TAGS");
    const long parsed = value ? std::strtol(value, nullptr, 10) : 0;
    return parsed > 0 && parsed <= 10'000'000 ? static_cast<int32_t>(parsed) : kDefaultTagCount;
  }();
  return count;
}

inline void put_le32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

// The i-th of the benchmarks' Tags as a tag file record: styles in turn, a time of its own,
// a note on every other one.
inline void put_bench_tag(std::string& out, int32_t start, int32_t end, int32_t i,
                          const std::string& note_prefix) {
  put_le32(out, start);
  put_le32(out, end);
  out += static_cast<char>('A' + i % 58);
  put_le32(out, 1000000000 + i);
  const std::string note = i % 2 ? "" : note_prefix + std::to_string(i);
  put_le32(out, note.empty() ? 0 : static_cast<int32_t>(note.size() + 1));
  if (!note.empty()) out.append(note.c_str(), note.size() + 1);
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

// A document_bytes() UTF-8 document with tag_count() tags, made once per run and removed at exit.
class BigDocument {
 public:
  static const BigDocument& get() {
    static const BigDocument document;
    return document;
  }

  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

  ~BigDocument() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  BigDocument() {
    dir_ = (std::filesystem::temp_directory_path() / "glossmark-bench-XXXXXX").string();
    if (!mkdtemp(&dir_[0])) return;
    path_ = dir_ + "/big.txt";
    write_text();
    write_tags();
  }

  void write_text() {
    std::string block;
    for (int line = 0; block.size() < (1 << 16); ++line) {
      block += "Line " + std::to_string(line) +
               ": naïve café prose, “quoted” — some ASCII to fill the rest of it.\n";
    }
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file) return;
    while (size_ < document_bytes()) {
      const size_t count = std::min(block.size(), document_bytes() - size_);
      size_ += std::fwrite(block.data(), 1, count, file);
    }
    std::fclose(file);
  }

  void write_tags() const {
    std::string bytes;
    put_le32(bytes, 120);  // top_line
    put_le32(bytes, 0);    // top_column
    bytes += 'A';          // default_style
    const int32_t count = tag_count();
    const int32_t step = static_cast<int32_t>(size_ / static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
      put_bench_tag(bytes, i * step, i * step + step / 2, i, "note number ");
    write_bytes(path_ + ".tag", bytes);
  }

  std::string dir_;
  std::string path_;
  size_t size_ = 0;
};

// The progress lines of every open would flood the report.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace bench
