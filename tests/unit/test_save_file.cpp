// Saving through both routes (rename, or in place with a recovery copy), what a file keeps
// across a save, recovery on the next open and the cleanup of killed saves' temporaries.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "document/document.h"
#include "platform/save_file.h"
#include "platform/save_file_faults.h"
#include "tags/tag.h"
#include "tags/tag_file.h"
#include "tags_test_support.h"

namespace gm {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

std::string contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string filler(size_t size, char first) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(first + i % 23);
  return bytes;
}

size_t names_containing(const std::string& dir, const std::string& part) {
  size_t found = 0;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(dir, ignored);
       it != fs::recursive_directory_iterator(); ++it)
    if (it->path().filename().string().find(part) != std::string::npos) ++found;
  return found;
}

struct User {
  uid_t uid;
  gid_t gid;
};

std::optional<User> nobody() {
  const passwd* user = getpwnam("nobody");
  if (!user || geteuid() != 0) return std::nullopt;
  return User{user->pw_uid, user->pw_gid};
}

// Runs `work` in a child process as `user` (root may become anyone); answers what it answers.
int run_as(const User& user, const std::function<int()>& work) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
        setresuid(user.uid, user.uid, user.uid) != 0)
      _exit(250);
    _exit(work());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 251;
}

class SaveFileTest : public testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gm-save-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    chmod(root.c_str(), 0755);  // other users reach their folders below
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state) saved_state = state;
    use_state(root + "/state");
  }
  void TearDown() override {
    set_save_fault(nullptr);
    for (const std::string& dir : mounts) umount2(dir.c_str(), MNT_DETACH);
    if (saved_state) {
      setenv("XDG_STATE_HOME", saved_state->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
    fs::remove_all(root);
  }

  void use_state(const std::string& dir) {
    state = dir;
    setenv("XDG_STATE_HOME", dir.c_str(), 1);
  }
  size_t copies() const { return names_containing(state, ".copy"); }

  std::string root;
  std::string state;
  std::optional<std::string> saved_state;
  std::vector<std::string> mounts;
};

// A tmpfs of 16 pages holds 40 000 old bytes: the 48 000 new ones fit only in their place.
// Where no file system can be mounted, the first write is told the disk is full.
bool g_disk_full_once = false;
bool disk_full_once(SaveStep step, size_t* written) {
  if (step != SaveStep::write || !g_disk_full_once) return false;
  g_disk_full_once = false;
  *written = 1000;
  errno = ENOSPC;
  return true;
}

// Makes an old file of 20 bytes.
std::string old_file(const std::string& folder, const std::string& name, mode_t mode = 0640) {
  const std::string path = folder + "/" + name;
  put(path, filler(20, 'a'));
  chmod(path.c_str(), mode);
  return path;
}

struct Target {
  std::string what;
  // Makes the old file (or not) in the folder and answers the path to save to; none when
  // this system cannot make the target.
  std::function<std::string(const std::string& folder)> make;
  bool as_nobody = false;
  bool in_place = false;  // the old file must stay the same file
  int error = 0;          // 0: saved
  size_t new_size = 50;
};

TEST_F(SaveFileTest, EveryTargetIsSavedWhereWritingInPlaceCouldAndStaysWhatItWas) {
  const std::optional<User> other = nobody();
  std::vector<Target> targets = {
      {"a plain file", [](const std::string& f) { return old_file(f, "doc.tag"); }},
      {"no file yet", [](const std::string& f) { return f + "/new.tag"; }},
      {"a read-only folder",
       [&](const std::string& f) {
         const std::string path = old_file(f, "doc.tag", 0644);
         chown(path.c_str(), other->uid, other->gid);
         return path;
       },
       true, true},
      {"a read-only folder and no file yet", [](const std::string& f) { return f + "/new.tag"; },
       true, false, EACCES},
      {"a live symbolic link",
       [](const std::string& f) {
         old_file(f, "real.tag");
         symlink("real.tag", (f + "/doc.tag").c_str());
         return f + "/doc.tag";
       }},
      {"a dangling symbolic link",
       [](const std::string& f) {
         fs::create_directory(f + "/sub");
         symlink("sub/missing.tag", (f + "/doc.tag").c_str());
         return f + "/doc.tag";
       }},
      {"a hard link",
       [](const std::string& f) {
         const std::string path = old_file(f, "doc.tag");
         link(path.c_str(), (f + "/other-name.tag").c_str());
         return path;
       },
       false, true},
      {"a group its owner is not in",
       [&](const std::string& f) {
         chown(f.c_str(), other->uid, other->gid);
         const std::string path = old_file(f, "doc.tag", 0664);
         chown(path.c_str(), other->uid, 0);
         return path;
       },
       true, true},
      {"an access list",
       [](const std::string& f) {
         const std::string path = old_file(f, "doc.tag");
         // version 2; owner rw, user 65534 rw, group r, mask rw, others r
         const uint32_t acl[] = {2, 0x00060001, ~0u, 0x00060002, 65534, 0x00040004, ~0u,
                                 0x00060010, ~0u, 0x00040020, ~0u};
         if (setxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0)
           return std::string();
         return path;
       },
       false, true},
      {"a full disk",
       [this](const std::string& f) {
         if (mount("tmpfs", f.c_str(), "tmpfs", 0, "size=64k") == 0) {
           mounts.push_back(f);
         } else {
           g_disk_full_once = true;
           set_save_fault(&disk_full_once);
         }
         const std::string path = f + "/doc.tag";
         put(path, filler(40000, 'a'));
         return path;
       },
       false, true, 0, 48000},
      {"no room for a recovery copy",
       [this](const std::string& f) {
         put(state, "a file where the state folder should be");
         const std::string path = old_file(f, "doc.tag");
         link(path.c_str(), (f + "/other-name.tag").c_str());
         return path;
       },
       false, true, ENOTDIR},
  };
  // The temporary "<name>.tmp-XXXXXX" fits the 255-byte limit up to names of 244 bytes.
  for (size_t length = 240; length <= 255; ++length) {
    const bool exists = length % 2 == 0;
    const std::string name = std::string(length - 4, 'n') + ".tag";
    targets.push_back(
        {"a name of " + std::to_string(length) + " bytes" + (exists ? "" : ", new"),
         [=](const std::string& f) { return exists ? old_file(f, name) : f + "/" + name; }, false,
         exists && length > 244});
  }

  int row = 0;
  for (const Target& target : targets) {
    SCOPED_TRACE(target.what);
    if (target.as_nobody && !other) {
      std::printf("[  SKIPPED ] %s: only root can act as another user\n", target.what.c_str());
      continue;
    }
    const std::string dir = root + "/" + std::to_string(++row);
    const std::string folder = dir + "/folder";
    fs::create_directories(folder);
    chmod(dir.c_str(), 0755);
    chmod(folder.c_str(), 0755);
    use_state(dir + "/state");
    if (target.as_nobody) {
      fs::create_directory(state);
      chown(state.c_str(), other->uid, other->gid);
    }
    const std::string path = target.make(folder);
    if (path.empty()) {
      std::printf("[  SKIPPED ] %s: not supported by this file system\n", target.what.c_str());
      continue;
    }
    const std::string old_bytes = contents(path);
    struct stat before {}, link_before {};
    const bool existed = stat(path.c_str(), &before) == 0;
    lstat(path.c_str(), &link_before);
    const std::string new_bytes = filler(target.new_size, 'A');

    const auto save = [&] { return save_file(path, new_bytes.data(), new_bytes.size()).error; };
    EXPECT_EQ(target.as_nobody ? run_as(*other, save) : save(), target.error);
    set_save_fault(nullptr);

    const std::string now = contents(path);
    EXPECT_TRUE(now == (target.error ? old_bytes : new_bytes))
        << "holds " << now.size() << " bytes";
    struct stat after {}, link_after {};
    const bool exists = stat(path.c_str(), &after) == 0;
    EXPECT_EQ(exists, existed || target.error == 0);
    lstat(path.c_str(), &link_after);
    EXPECT_EQ(S_ISLNK(link_after.st_mode), S_ISLNK(link_before.st_mode));
    if (existed) {
      EXPECT_EQ(after.st_nlink, before.st_nlink);
      EXPECT_EQ(after.st_uid, before.st_uid);
      EXPECT_EQ(after.st_gid, before.st_gid);
      EXPECT_EQ(after.st_mode, before.st_mode);
      if (target.in_place) {
        EXPECT_EQ(after.st_ino, before.st_ino);
      }
    }
    EXPECT_EQ(names_containing(folder, ".tmp-"), 0u);
    EXPECT_EQ(copies(), 0u);
  }
}

// A save cut short while it wrote in place: the next open puts the copy back, or reads the
// tags from it when the file cannot be written; a damaged copy is never used.
TEST_F(SaveFileTest, AnInterruptedInPlaceSaveIsRecoveredByTheNextOpen) {
  test::CountingClock clock;
  const std::string document = root + "/doc.txt";
  const std::string tag_file = document + ".tag";
  put(document, "some text to tag, long enough");
  TagList old_tags, new_tags;
  test::append_all(old_tags, {{0, 4, 1, 'C', "old"}});
  test::append_all(new_tags, {{0, 4, 1, 'C', "new"}, {5, 9, 2, 'D', "a longer note"}});
  ASSERT_EQ(write_tag_file(old_tags, tag_file.c_str()), 0);
  ASSERT_EQ(link(tag_file.c_str(), (root + "/second-name.tag").c_str()), 0);
  ASSERT_EQ(write_tag_file(new_tags, tag_file.c_str()), 0);
  const std::string new_bytes = contents(tag_file);

  static size_t cut_at;
  const auto cut_write = [](SaveStep step, size_t* written) {
    *written = cut_at;
    return step == SaveStep::write;
  };
  const auto open_tags = [&](std::string& out, std::string& err) {
    TagList tags;
    DocumentState doc;
    CaptureStdout();
    CaptureStderr();
    EXPECT_EQ(open_document(doc, tags, document.c_str()), 0);
    err = GetCapturedStderr();
    out = GetCapturedStdout();
    return test::identities(tags);
  };
  std::string out, err;

  // Cut anywhere, the file is put back whole and the copy goes.
  for (cut_at = 0; cut_at < new_bytes.size(); cut_at += 7) {
    SCOPED_TRACE("bytes written: " + std::to_string(cut_at));
    ASSERT_EQ(write_tag_file(old_tags, tag_file.c_str()), 0);
    set_save_fault(cut_write);
    CaptureStderr();
    EXPECT_EQ(write_tag_file(new_tags, tag_file.c_str()), -1);
    GetCapturedStderr();
    set_save_fault(nullptr);
    EXPECT_EQ(copies(), 1u);
    EXPECT_EQ(open_tags(out, err), test::identities(new_tags));
    EXPECT_NE(out.find("Warning: an interrupted save had left " + tag_file +
                       " incomplete; restored it from its recovery copy\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(err, "");
    EXPECT_EQ(contents(tag_file), new_bytes);
    EXPECT_EQ(contents(root + "/second-name.tag"), new_bytes);
    EXPECT_EQ(copies(), 0u);
  }

  // The file cannot be written now: the tags come from the copy, which stays.
  cut_at = 10;
  set_save_fault(cut_write);
  CaptureStderr();
  EXPECT_EQ(write_tag_file(new_tags, tag_file.c_str()), -1);
  GetCapturedStderr();
  set_save_fault([](SaveStep step, size_t*) { return step == SaveStep::create; });
  EXPECT_EQ(open_tags(out, err), test::identities(new_tags));
  EXPECT_EQ(err.rfind("Warning: an interrupted save had left " + tag_file +
                      " incomplete and it cannot be restored (Input/output error); tags read "
                      "from the recovery copy " + state + "/glossmark/recovery/", 0),
            0u)
      << err;
  set_save_fault(nullptr);
  EXPECT_EQ(copies(), 1u);

  // A damaged copy is left alone and the file read as it is.
  const fs::path copy = *fs::directory_iterator(state + "/glossmark/recovery");
  std::string damaged = contents(copy);
  damaged.back() ^= 1;
  put(copy, damaged);
  EXPECT_EQ(open_tags(out, err).size(), 0u);
  EXPECT_EQ(out.find("restored"), std::string::npos);
  EXPECT_EQ(copies(), 1u);

  // A copy of what the file already holds (the process died just before removing it) goes
  // without a word.
  damaged.back() ^= 1;
  put(copy, damaged);
  put(tag_file, new_bytes);
  EXPECT_EQ(open_tags(out, err), test::identities(new_tags));
  EXPECT_EQ(out.find("restored"), std::string::npos);
  EXPECT_EQ(copies(), 0u);

  // A later save by the rename route outdates a copy still waiting.
  set_save_fault(cut_write);
  CaptureStderr();
  EXPECT_EQ(write_tag_file(old_tags, tag_file.c_str()), -1);
  GetCapturedStderr();
  set_save_fault(nullptr);
  fs::remove(root + "/second-name.tag");
  EXPECT_EQ(write_tag_file(new_tags, tag_file.c_str()), 0);
  EXPECT_EQ(copies(), 0u);
  EXPECT_EQ(open_tags(out, err), test::identities(new_tags));
}

// Only temporaries that are plainly a killed save's go: our name and owner, no lock held.
TEST_F(SaveFileTest, TheNextSaveOrOpenRemovesOnlyStaleTemporaries) {
  const std::string file = root + "/doc.tag";
  const std::vector<std::string> stale = {file + ".tmp-a1B2c3", file + ".tmp-ZZZZZZ"};
  const std::vector<std::string> kept = {file + ".tmp-a1B2c", file + ".tmp-a1B2c3d",
                                         root + "/other.tag.tmp-a1B2c3", file + ".tmp-held00",
                                         file + ".tmp-link00", file + ".tmp-nobody"};
  for (const auto& step : {std::function<void()>([&] { recover_file(file); }),
                           std::function<void()>([&] { save_file(file, "x", 1); })}) {
    for (const std::string& name : stale) put(name, "partial");
    for (const std::string& name : kept) put(name, "not ours to remove");
    fs::remove(file + ".tmp-link00");
    fs::create_symlink("doc.tag.tmp-ZZZZZZ", file + ".tmp-link00");
    const std::optional<User> other = nobody();
    if (other) chown((file + ".tmp-nobody").c_str(), other->uid, other->gid);
    const int held = open((file + ".tmp-held00").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);  // a save still writing it

    step();
    close(held);
    for (const std::string& name : stale) EXPECT_FALSE(fs::exists(name)) << name;
    for (const std::string& name : kept) {
      if (name.find("nobody") != std::string::npos && !other) continue;
      EXPECT_TRUE(fs::exists(fs::symlink_status(name))) << name;
    }
    for (const std::string& name : kept) fs::remove(name);
  }
}

}  // namespace
}  // namespace gm
