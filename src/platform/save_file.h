// Saving a whole file so that no failure or interruption leaves its user without one complete
// version of it, the old or the new, and so that the file stays what it was: a symbolic link
// keeps pointing where it pointed, other hard links stay names of the same file, owner, group
// and mode stay.
//
// Two routes. Where a new file may take the old one's place, the bytes go to a temporary file
// beside it ("<file>.tmp-XXXXXX"), reach the disk and are renamed over it. Where that cannot
// be (the folder takes no new file, the temporary's name would be too long, the disk has no
// room for both versions, the file has other names, an access list, an owner or group that a
// new file could not get, or is no regular file), the file is written in place; until the new
// bytes are on disk a complete copy of them waits in the user's state folder, where
// recover_file() finds it if the save was cut short.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace gm {

enum class SaveStep {
  create,  // making the temporary, or opening the file itself for writing
  copy,    // keeping the recovery copy of an in-place write
  write,
  fsync,
  rename,
};

struct SaveResult {
  int error = 0;  // errno of the step that failed; 0 when the file was saved
  SaveStep step = SaveStep::create;
  size_t written = 0;     // bytes of the new content in the file when a write failed
  std::string copy_path;  // the recovery copy that could not be kept (step copy)
  bool ok() const { return error == 0; }
};

// Replaces the content of the file at `path` (following symbolic links, a dangling one
// included) with `size` bytes from `data`. Also removes the temporaries that killed saves
// left beside it.
SaveResult save_file(const std::string& path, const char* data, size_t size);

// What recover_file() found.
struct Recovery {
  enum Outcome {
    nothing,    // no copy was waiting (or the interrupted save had finished its write)
    restored,   // the file was cut short by an interrupted save and now holds the copy again
    copy_kept,  // the file could not be written again: read `bytes`; the copy stays
  };
  Outcome outcome = nothing;
  std::string copy_path;
  std::vector<char> bytes;  // the copy's content, for copy_kept
  int error = 0;            // why the file could not be written again, for copy_kept
};

// To be called before the file at `path` is read: removes the temporaries of killed saves
// beside it, and puts back the copy that an interrupted in-place write kept. A copy counts
// only when it is complete: it records the file's path, its length and a checksum.
Recovery recover_file(const std::string& path);

// Where recovery copies wait: $XDG_STATE_HOME/glossmark/recovery (~/.local/state/...).
std::string recovery_directory();

}  // namespace gm
