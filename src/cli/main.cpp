// glossmark-tags: the tags of a document outside the window program. Lists them, writes
// them as W3C Web Annotations or as an HTML page, and merges annotations back in. Reads
// the document and the tag file with the program's own core, needs no display.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "document/document.h"
#include "export/html_view.h"
#include "export/tag_listing.h"
#include "export/web_annotation.h"
#include "platform/platform.h"
#include "platform/progress.h"
#include "tags/tag_file.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

const char kUsage[] =
    "Usage: glossmark-tags COMMAND DOCUMENT [OPTIONS]\n"
    "\n"
    "  glossmark-tags list   DOCUMENT              one line per tag: start end style time note\n"
    "  glossmark-tags export DOCUMENT [-o FILE]    W3C Web Annotation JSON-LD\n"
    "  glossmark-tags import DOCUMENT FILE         merge annotations from FILE (- for standard\n"
    "                                              input) into DOCUMENT's tag file\n"
    "  glossmark-tags html   DOCUMENT [-o FILE]    a standalone HTML page of the annotated text\n"
    "\n"
    "Options:\n"
    "  -o FILE        write to FILE instead of standard output\n"
    "  -v, --verbose  show the document loader's progress lines on standard error\n"
    "  -h, --help     show this text and exit\n"
    "\n"
    "The tags live in DOCUMENT.tag. Exit status: 0 success, 1 failure, 2 usage error.\n";

struct UsageError {
  std::string message;
};

struct Failure {
  std::string message;
};

struct Arguments {
  std::string command;
  std::string document;
  std::optional<std::string> input;   // import's FILE
  std::optional<std::string> output;  // -o FILE
  bool verbose = false;
  bool help = false;
};

Arguments parse_arguments(int argc, char** argv) {
  Arguments args;
  std::vector<std::string> words;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && (arg == "-h" || arg == "--help")) {
      args.help = true;
    } else if (!options_done && (arg == "-v" || arg == "--verbose")) {
      args.verbose = true;
    } else if (!options_done && arg == "-o") {
      if (i + 1 >= argc) throw UsageError{"-o needs a FILE"};
      if (args.output) throw UsageError{"-o given twice"};
      args.output = argv[++i];
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else {
      words.push_back(arg);
    }
  }
  if (args.help) return args;
  if (words.empty()) throw UsageError{"no command given"};
  args.command = words[0];
  const bool known = args.command == "list" || args.command == "export" ||
                     args.command == "import" || args.command == "html";
  if (!known) throw UsageError{"unknown command " + args.command};
  const size_t wanted = args.command == "import" ? 3 : 2;
  if (words.size() < wanted)
    throw UsageError{args.command == "import" ? "import needs DOCUMENT and FILE"
                                              : args.command + " needs DOCUMENT"};
  if (words.size() > wanted) throw UsageError{"too many arguments"};
  args.document = words[1];
  if (wanted == 3) args.input = words[2];
  if (args.output && (args.command == "list" || args.command == "import"))
    throw UsageError{"-o does not go with " + args.command};
  return args;
}

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

bool file_exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string read_input(const std::string& name) {
  if (name == "-") {
    std::ostringstream bytes;
    bytes << std::cin.rdbuf();
    if (std::cin.bad()) throw Failure{"cannot read standard input"};
    return bytes.str();
  }
  // Straight into one string of the file's size: an export runs to a hundred megabytes.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Failure{system_error("cannot read " + name)};
  std::string bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const Failure failure{system_error("cannot read " + name)};
      ::close(fd);
      throw failure;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// The document text and its Tags exactly as the program loads them.
struct Loaded {
  gm::DocumentState doc;
  gm::TagList tags;
};

void load(const std::string& path, Loaded& loaded) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw Failure{system_error(path)};
  if (S_ISDIR(st.st_mode)) throw Failure{path + ": is a folder"};
  if (gm::open_document(loaded.doc, loaded.tags, path.c_str()) != 0 || !loaded.doc.data)
    throw Failure{"cannot open " + path};
}

// Output that replaces FILE only once it is complete, or standard output.
class Output {
 public:
  explicit Output(const std::optional<std::string>& file) : file_(file) {
    if (!file_) return;
    temp_ = *file_ + ".tmp-XXXXXX";
    const int fd = mkstemp(temp_.data());
    if (fd < 0) throw Failure{system_error("cannot write " + *file_)};
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    stream_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!stream_) fail_file();
  }
  ~Output() {
    if (file_ && !done_) unlink(temp_.c_str());
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  std::ostream& stream() { return file_ ? static_cast<std::ostream&>(stream_) : std::cout; }

  void finish() {
    if (!file_) {
      std::cout.flush();
      if (!std::cout) throw Failure{system_error("cannot write standard output")};
      return;
    }
    stream_.close();
    if (!stream_) fail_file();
    if (rename(temp_.c_str(), file_->c_str()) != 0) fail_file();
    done_ = true;
  }

 private:
  [[noreturn]] void fail_file() { throw Failure{system_error("cannot write " + *file_)}; }
  std::optional<std::string> file_;
  std::string temp_;
  std::ofstream stream_;
  bool done_ = false;
};

std::string file_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void import_command(const Arguments& args) {
  const std::string json = read_input(*args.input);
  Loaded loaded;
  load(args.document, loaded);

  // The merge starts from the tag file as stored, not as fitted to the text, so that
  // importing never drops or changes a Tag that is already there. (The same list is read
  // again: a second TagList would wait for the clock's next second.)
  const std::string tag_path = gm::tag_file_name(args.document);
  const bool has_tag_file = file_exists(tag_path);
  gm::TagList& list = loaded.tags;
  if (has_tag_file && gm::read_tag_file(list, tag_path.c_str()) != 0)
    throw Failure{"cannot read all of " + tag_path + "; nothing imported"};

  const gm::ImportReport report =
      gm::import_annotations(json, loaded.doc.data->view(), args.document, list, !has_tag_file);
  if (report.error) throw Failure{*args.input + ": " + *report.error};
  for (const std::string& line : report.unplaced)
    std::fprintf(stderr, "not placed: %s\n", line.c_str());
  if (report.added == 0 && !report.header_changed) return;
  if (gm::write_tag_file(list, tag_path.c_str()) != 0) throw Failure{"cannot write " + tag_path};
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat x {
  }, y{};
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

void run(const Arguments& args) {
  if (args.command == "import") return import_command(args);
  // The document is never written, and its tags only by their own commands.
  if (args.output && (same_file(*args.output, args.document) ||
                      same_file(*args.output, gm::tag_file_name(args.document))))
    throw Failure{"will not write over " + *args.output};
  Loaded loaded;
  load(args.document, loaded);
  Output output(args.output);
  std::ostream& out = output.stream();
  if (args.command == "list") {
    gm::write_tag_lines(out, loaded.tags);
  } else if (args.command == "export") {
    gm::write_annotations(out, loaded.doc.data->view(), loaded.tags, args.document);
  } else {
    const std::string& shown = loaded.doc.display_path ? *loaded.doc.display_path : args.document;
    gm::write_html(out, loaded.doc.data->view(), loaded.tags, file_name(shown));
  }
  output.finish();
}

}  // namespace

int main(int argc, char** argv) {
  gm::init_process();
  std::ios::sync_with_stdio(false);  // standard output carries only the data, in big blocks

  Arguments args;
  try {
    args = parse_arguments(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "glossmark-tags: %s\n%s", e.message.c_str(), kUsage);
    return kUsageError;
  }
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  gm::set_progress_stream(args.verbose ? stderr : nullptr);
  try {
    run(args);
  } catch (const Failure& e) {
    std::fprintf(stderr, "glossmark-tags: %s\n", e.message.c_str());
    return kFailure;
  } catch (const std::bad_alloc&) {
    std::fputs("glossmark-tags: out of memory\n", stderr);
    return kFailure;
  }
  return 0;
}
