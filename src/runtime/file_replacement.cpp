// Replacing a file whole through an unnamed temporary file in its folder.
#include "runtime/file_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/paths.h"
#include "runtime/strings.h"
#include "runtime/temporary_name.h"
#include "runtime/translation.h"

namespace qv {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";

// Named temporary files in progress, for the signal handler: folder descriptor and name.
struct TSignalSlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  int dir_fd = -1;
  char name[NAME_MAX + 1] = {};
};
TSignalSlot signal_slots[8];

int RegisterName(int dir_fd, const std::string& name) {
  for (int i = 0; i < 8; ++i) {
    int expected = 0;
    if (signal_slots[i].state.compare_exchange_strong(expected, 1)) {
      signal_slots[i].dir_fd = dir_fd;
      std::memcpy(signal_slots[i].name, name.c_str(), name.size() + 1);
      signal_slots[i].state.store(2);
      return i;
    }
  }
  return -1;
}

void UnregisterName(int& slot) {
  if (slot >= 0) signal_slots[slot].state.store(0);
  slot = -1;
}

extern "C" void RemoveTemporaryFilesAndExit(int signal_number) {
  for (TSignalSlot& slot : signal_slots)
    if (slot.state.load() == 2) ::unlinkat(slot.dir_fd, slot.name, 0);
  ::_exit(128 + signal_number);
}

// Removes, once per folder and process, the temporary files in it that are abandoned (see
// temporary_name.h): this machine's whose process no longer runs (killed between naming and
// renaming its file), and any unchanged for a day.
void RemoveLeftovers(int dir_fd, const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> cleaned;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!cleaned.insert(folder).second) return;
  }
  int fd = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  std::unique_ptr<DIR, TDirCloser> dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return;
  }
  std::int64_t now = static_cast<std::int64_t>(::time(nullptr));
  while (dirent* entry = ::readdir(dir.get())) {
    if (!TemporaryWriter(entry->d_name)) continue;
    struct stat info;
    if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
      continue;
    // The last write: a writer that is still at work keeps it recent.
    std::int64_t age = now - static_cast<std::int64_t>(info.st_mtime);
    if (IsAbandonedTemporary(entry->d_name, age)) ::unlinkat(dir_fd, entry->d_name, 0);
  }
}

// The group bits an ACL grants the owning group (its group entry, not its mask); nullopt when
// the value cannot be read.
std::optional<mode_t> AclGroupBits(const std::vector<char>& acl) {
  constexpr std::size_t kHeader = 4, kEntry = 8;
  constexpr std::uint16_t kGroupObj = 0x04;
  if (acl.size() < kHeader || (acl.size() - kHeader) % kEntry != 0) return std::nullopt;
  for (std::size_t at = kHeader; at < acl.size(); at += kEntry) {
    auto byte = [&](std::size_t i) {
      return static_cast<std::uint16_t>(static_cast<unsigned char>(acl[at + i]));
    };
    std::uint16_t tag = static_cast<std::uint16_t>(byte(0) | byte(1) << 8);
    std::uint16_t perm = static_cast<std::uint16_t>(byte(2) | byte(3) << 8);
    if (tag == kGroupObj) return static_cast<mode_t>((perm & 7) << 3);
  }
  return std::nullopt;
}

std::vector<std::string> XattrNames(const std::string& path) {
  std::vector<std::string> names;
  ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
  if (size <= 0) return names;
  std::vector<char> list(static_cast<std::size_t>(size));
  size = ::llistxattr(path.c_str(), list.data(), list.size());
  for (ssize_t at = 0; at < size;) {
    names.emplace_back(list.data() + at);
    at += static_cast<ssize_t>(names.back().size()) + 1;
  }
  return names;
}

std::optional<std::vector<char>> XattrValue(const std::string& path, const std::string& name) {
  ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
  if (size < 0) return std::nullopt;
  std::vector<char> value(static_cast<std::size_t>(size));
  size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
  if (size < 0) return std::nullopt;
  value.resize(static_cast<std::size_t>(size));
  return value;
}

// Gives fd what the old file at old_path has, as far as this process may set it: owner and
// group, permission bits without setuid and setgid, ACL and extended attributes (file
// capabilities excepted). An ACL the new file inherited from its folder goes when the old file
// had none.
void TakeOverMetadata(int fd, const std::string& old_path, const struct stat& old) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0)
    (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);

  std::vector<std::string> names = XattrNames(old_path);
  std::optional<std::vector<char>> acl;
  for (const std::string& name : names)
    if (name == kAccessAcl) acl = XattrValue(old_path, name);

  // With an ACL the group bits show its mask; the owning group's own bits are in its entry, and
  // they are what stays should the ACL not be taken over.
  mode_t mode = old.st_mode & 0777;
  if (acl) {
    if (auto group = AclGroupBits(*acl)) mode = (mode & 0707) | *group;
  } else {
    ::fremovexattr(fd, kAccessAcl);
  }
  ::fchmod(fd, mode);
  for (const std::string& name : names) {
    if (name == "security.capability") continue;
    if (auto value = XattrValue(old_path, name))
      ::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0);
  }
}

[[noreturn]] void ThrowCreate(const std::string& path, int error) {
  throw EFCreateError(path, SystemErrorMessage(error));
}

}  // namespace

std::string ReplacedFile(const std::string& path, TSymlinkRule rule) {
  struct stat info;
  if (rule == TSymlinkRule::kFollowLink && ::lstat(path.c_str(), &info) == 0 &&
      S_ISLNK(info.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) return real.get();
  }
  return path;
}

TFileReplacement::TFileReplacement(const std::string& path, TSymlinkRule rule)
    : path_(path), target_(ReplacedFile(path, rule)) {
  struct stat info;
  bool exists = ::lstat(target_.c_str(), &info) == 0;
  name_ = ExtractFileName(target_);
  if (name_.empty() || name_ == "." || name_ == "..") ThrowCreate(path, EISDIR);
  if (exists && S_ISDIR(info.st_mode)) ThrowCreate(path, EISDIR);
  if (exists && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
    // TRANSLATORS: why a file cannot be replaced, after "Cannot create file ...".
    throw EFCreateError(path, TrCtx("file creation", "not a regular file"));
  // The folder's permission allows the rename; the file's own says whether it may be replaced.
  if (exists && S_ISREG(info.st_mode) &&
      ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
    ThrowCreate(path, errno);

  std::string folder = ExtractFilePath(target_);
  dir_fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd_ < 0) ThrowCreate(path, errno);
  RemoveLeftovers(dir_fd_, folder);

  fd_ = ::openat(dir_fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    unnamed_ = true;
    return;
  }
  // File systems without unnamed files: a named one, removed on failure and on signals.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_name_ = TemporaryName(name_);
    signal_slot_ = RegisterName(dir_fd_, temp_name_);
    fd_ = ::openat(dir_fd_, temp_name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      int error = errno;
      UnregisterName(signal_slot_);
      temp_name_.clear();
      if (error != EEXIST) {
        ::close(dir_fd_);
        dir_fd_ = -1;
        ThrowCreate(path, error);
      }
    }
  }
  if (fd_ < 0) {
    ::close(dir_fd_);
    dir_fd_ = -1;
    ThrowCreate(path, EEXIST);
  }
}

TFileReplacement::~TFileReplacement() { Discard(); }

void TFileReplacement::Discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_name_.empty()) ::unlinkat(dir_fd_, temp_name_.c_str(), 0);
  temp_name_.clear();
  UnregisterName(signal_slot_);
  if (dir_fd_ >= 0) ::close(dir_fd_);
  dir_fd_ = -1;
}

void TFileReplacement::Write(const void* bytes, std::size_t count) {
  if (fd_ < 0)
    throw EWriteError(
        FormatText(Tr(messages::kFWriteError), {path_, TrCtx("file write", "closed")}));
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  while (count > 0) {
    ssize_t n = ::write(fd_, in, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EWriteError(FormatText(Tr(messages::kFWriteError), {path_, SystemErrorMessage(errno)}));
    }
    in += n;
    count -= static_cast<std::size_t>(n);
  }
}

void TFileReplacement::LinkTemporaryName() {
  std::string proc_path = "/proc/self/fd/" + IntToStr(fd_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_name_ = TemporaryName(name_);
    signal_slot_ = RegisterName(dir_fd_, temp_name_);
    int result =
        ::linkat(AT_FDCWD, proc_path.c_str(), dir_fd_, temp_name_.c_str(), AT_SYMLINK_FOLLOW);
    if (result != 0 && errno == ENOENT)
      result = ::linkat(fd_, "", dir_fd_, temp_name_.c_str(), AT_EMPTY_PATH);
    if (result == 0) return;
    int error = errno;
    UnregisterName(signal_slot_);
    temp_name_.clear();
    if (error != EEXIST) ThrowCreate(path_, error);
  }
  ThrowCreate(path_, EEXIST);
}

void TFileReplacement::Fail(int error, bool write_error) {
  Discard();
  if (write_error)
    throw EWriteError(FormatText(Tr(messages::kFWriteError), {path_, SystemErrorMessage(error)}));
  ThrowCreate(path_, error);
}

void TFileReplacement::Sync() {
  if (fd_ < 0) Fail(EBADF, true);
  if (::fsync(fd_) != 0 && errno != EINVAL) Fail(errno, true);
}

void TFileReplacement::Commit() {
  Sync();

  struct stat old;
  if (::fstatat(dir_fd_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
    TakeOverMetadata(fd_, target_, old);

  if (unnamed_) {
    try {
      LinkTemporaryName();
    } catch (...) {
      Discard();
      throw;
    }
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno, true);
  if (::renameat(dir_fd_, temp_name_.c_str(), dir_fd_, name_.c_str()) != 0) Fail(errno, false);
  temp_name_.clear();
  UnregisterName(signal_slot_);
  ::fsync(dir_fd_);
  ::close(dir_fd_);
  dir_fd_ = -1;
}

void CleanUpTemporaryFilesOnSignals() {
  ::signal(SIGXFSZ, SIG_IGN);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      continue;  // ignored by whoever started the program (nohup, a background job)
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryFilesAndExit;
    sigemptyset(&action.sa_mask);
    for (int blocked : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, blocked);
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace qv
