// Replacing a file whole through an unnamed temporary file in its folder.
#include "runtime/file_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
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

struct TTemporaryNameSlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  int dir_fd = -1;
  char name[PATH_MAX] = {};
};

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";

// Named temporary files in progress, for the signal handler: a folder descriptor and a name in
// it, or AT_FDCWD and a path (a parked file, whose folder is closed). The table is a chain of
// blocks that only grows and is never freed, so the handler can walk it without locks while
// other threads add to it; a block is added outside the handler, before it is needed.
struct TSignalSlotBlock {
  static constexpr int kSlots = 16;
  TTemporaryNameSlot slots[kSlots];
  std::atomic<TSignalSlotBlock*> next{nullptr};
};
TSignalSlotBlock first_slot_block;

// Adds a block after the last one; returns the block after last (one another thread may have
// added first).
TSignalSlotBlock* AppendSlotBlock(TSignalSlotBlock* last) {
  auto* block = new TSignalSlotBlock;
  TSignalSlotBlock* expected = nullptr;
  if (last->next.compare_exchange_strong(expected, block)) return block;
  delete block;
  return expected;
}

// A slot of the table for the name (a block is added when every slot is taken); nullptr when
// the name does not fit a slot.
TTemporaryNameSlot* RegisterName(int dir_fd, const std::string& name) {
  if (name.size() >= sizeof TTemporaryNameSlot::name) return nullptr;
  for (TSignalSlotBlock* block = &first_slot_block;;) {
    for (TTemporaryNameSlot& slot : block->slots) {
      int expected = 0;
      if (slot.state.compare_exchange_strong(expected, 1)) {
        slot.dir_fd = dir_fd;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.state.store(2);
        return &slot;
      }
    }
    TSignalSlotBlock* next = block->next.load();
    block = next ? next : AppendSlotBlock(block);
  }
}

void UnregisterName(TTemporaryNameSlot*& slot) {
  if (slot) slot->state.store(0);
  slot = nullptr;
}

// Threads giving a temporary file its name now, and whether the signal handler runs: it waits
// for every name being given, so that none is made after it looked.
std::atomic<int> naming_now{0};
std::atomic<bool> exiting{false};

// While a thread registers a temporary name and gives it to a file, the termination signals wait
// for it (they are blocked on this thread, so the handler runs on another one or after); once the
// handler runs, a thread coming to give a name stops here for good, as the process ends.
class TNamingSection {
 public:
  TNamingSection() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &signals, &saved_);
    naming_now.fetch_add(1);
    if (exiting.load()) {
      naming_now.fetch_sub(1);
      for (;;) ::pause();
    }
  }
  ~TNamingSection() {
    naming_now.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  TNamingSection(const TNamingSection&) = delete;
  TNamingSection& operator=(const TNamingSection&) = delete;

 private:
  sigset_t saved_;
};

extern "C" void RemoveTemporaryFilesAndExit(int signal_number) {
  exiting.store(true);
  while (naming_now.load() > 0) {
  }
  for (TSignalSlotBlock* block = &first_slot_block; block; block = block->next.load())
    for (TTemporaryNameSlot& slot : block->slots)
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
  throw EFCreateError(path, SystemErrorMessage(error), error);
}

// Renames from to to in the folder unless to exists (false with errno EEXIST then). A file
// system without the no-replace rename gets a hard link, which never replaces either; one with
// neither (FAT has no links) gets a check just before a plain rename.
bool RenameKeepingExisting(int dir_fd, const std::string& from, const std::string& to) {
  if (::renameat2(dir_fd, from.c_str(), dir_fd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::linkat(dir_fd, from.c_str(), dir_fd, to.c_str(), 0) == 0) {
    ::unlinkat(dir_fd, from.c_str(), 0);
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
  struct stat info;
  if (::fstatat(dir_fd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::renameat(dir_fd, from.c_str(), dir_fd, to.c_str()) == 0;
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

TFileReplacement::TFileReplacement(const std::string& path, TSymlinkRule rule,
                                   TExistingFile existing)
    : path_(path), target_(ReplacedFile(path, rule)), existing_(existing) {
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

  folder_ = ExtractFilePath(target_);
  if (folder_.empty()) folder_ = ".";
  dir_fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd_ < 0) ThrowCreate(path, errno);
  try {
    // A file that is to be replaced where names cannot be removed is refused before any work.
    if (exists && existing_ == TExistingFile::kReplace) CheckNamesRemovable();
    RemoveLeftovers(dir_fd_, folder_);

    fd_ = ::openat(dir_fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      unnamed_ = true;
      return;
    }
    // File systems without unnamed files: a named one, removed on failure and on signals.
    CheckNamesRemovable();
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      TNamingSection section;
      temp_name_ = TemporaryName(name_);
      signal_slot_ = RegisterName(dir_fd_, temp_name_);
      fd_ = ::openat(dir_fd_, temp_name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0) {
        int error = errno;
        UnregisterName(signal_slot_);
        temp_name_.clear();
        if (error != EEXIST) ThrowCreate(path, error);
      }
    }
    if (fd_ < 0) ThrowCreate(path, EEXIST);
  } catch (...) {
    ::close(dir_fd_);
    dir_fd_ = -1;
    throw;
  }
}

TFileReplacement::~TFileReplacement() { Discard(); }

void TFileReplacement::Discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_name_.empty()) {
    if (parked_)
      ::unlinkat(AT_FDCWD, TemporaryPath().c_str(), 0);
    else
      ::unlinkat(dir_fd_, temp_name_.c_str(), 0);
  }
  temp_name_.clear();
  parked_ = false;
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
      int error = errno;
      throw EWriteError(FormatText(Tr(messages::kFWriteError), {path_, SystemErrorMessage(error)}),
                        error);
    }
    in += n;
    count -= static_cast<std::size_t>(n);
  }
}

void TFileReplacement::CheckNamesRemovable() const {
  // The folder's attribute flags (chattr): in an append-only or immutable folder a name, once
  // given, stays. Where the file system keeps no such flags the names count as removable; should
  // one not be, the error names it (FailLeavingTemporary).
  int flags = 0;
  if (::ioctl(dir_fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
  if (!(flags & (FS_APPEND_FL | FS_IMMUTABLE_FL))) return;
  const char* reason =
      // TRANSLATORS: why a file cannot be replaced, after "Cannot create file ..."; the folder.
      Tr("the folder \"%s\" forbids removing names (append-only): a file in it cannot be replaced");
  throw EFCreateError(path_, FormatText(reason, {folder_}));
}

void TFileReplacement::FailLeavingTemporary(int error) {
  const std::string leftover = TemporaryPath();
  temp_name_.clear();  // it stays; Discard() must not try again
  Discard();
  // TRANSLATORS: the system's reason, then the temporary file left behind.
  const char* reason = Tr("%s; the temporary file \"%s\" could not be removed");
  throw EFCreateError(path_, FormatText(reason, {SystemErrorMessage(error), leftover}), error);
}

void TFileReplacement::LinkTemporaryName() {
  std::string proc_path = "/proc/self/fd/" + IntToStr(fd_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    TNamingSection section;
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
    throw EWriteError(FormatText(Tr(messages::kFWriteError), {path_, SystemErrorMessage(error)}),
                      error);
  ThrowCreate(path_, error);
}

bool TFileReplacement::Park() {
  if (parked_) return true;
  if (fd_ < 0) return false;
  if (IncludeTrailingPathDelimiter(folder_).size() + NAME_MAX >= PATH_MAX)
    return false;  // its path would not fit the signal handler's table
  if (unnamed_) {
    try {
      CheckNamesRemovable();
      LinkTemporaryName();
    } catch (const Exception&) {
      return false;  // open it stays, unnamed
    }
    unnamed_ = false;
  }
  // The signal handler finds the file by its path while the folder is closed. The entry moves
  // within a naming section: a handler walking the table meanwhile could otherwise pass the new
  // slot before it is filled and reach the old one after it is freed, and miss the file.
  {
    TNamingSection section;
    TTemporaryNameSlot* by_path = RegisterName(AT_FDCWD, TemporaryPath());
    if (!by_path) return false;
    UnregisterName(signal_slot_);
    signal_slot_ = by_path;
  }
  ::close(fd_);
  fd_ = -1;
  ::close(dir_fd_);
  dir_fd_ = -1;
  parked_ = true;
  return true;
}

std::string TFileReplacement::TemporaryPath() const {
  return IncludeTrailingPathDelimiter(folder_) + temp_name_;
}

void TFileReplacement::Unpark() {
  if (!parked_) return;
  dir_fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd_ < 0) Fail(errno, false);
  parked_ = false;
  fd_ = ::openat(dir_fd_, temp_name_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) Fail(errno, false);
}

void TFileReplacement::Sync() {
  if (parked_) {
    // Opened for the sync alone: it stays parked.
    int fd = ::open(TemporaryPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) Fail(errno, true);
    int result = ::fsync(fd);
    int error = errno;
    ::close(fd);
    if (result != 0 && error != EINVAL) Fail(error, true);
    return;
  }
  if (fd_ < 0) Fail(EBADF, true);
  if (::fsync(fd_) != 0 && errno != EINVAL) Fail(errno, true);
}

bool TFileReplacement::Commit() {
  Unpark();
  Sync();

  struct stat old;
  bool exists = ::fstatat(dir_fd_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && existing_ == TExistingFile::kKeep) {
    Discard();
    return false;
  }
  if (exists && S_ISREG(old.st_mode)) TakeOverMetadata(fd_, target_, old);

  if (unnamed_ && !exists) {
    // A new file goes straight to its name, which never replaces anything: no temporary name
    // is seen, and a folder that forbids removing names takes it as well.
    std::string proc_path = "/proc/self/fd/" + IntToStr(fd_);
    int result = ::linkat(AT_FDCWD, proc_path.c_str(), dir_fd_, name_.c_str(), AT_SYMLINK_FOLLOW);
    if (result != 0 && errno == ENOENT)
      result = ::linkat(fd_, "", dir_fd_, name_.c_str(), AT_EMPTY_PATH);
    if (result == 0) {
      ::close(fd_);
      fd_ = -1;
      ::fsync(dir_fd_);
      Discard();
      return true;
    }
    if (errno != EEXIST) Fail(errno, false);
    // A file came meanwhile.
    if (existing_ == TExistingFile::kKeep) {
      Discard();
      return false;
    }
    if (::fstatat(dir_fd_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
      TakeOverMetadata(fd_, target_, old);
  }
  if (unnamed_) {
    try {
      CheckNamesRemovable();
      LinkTemporaryName();
    } catch (...) {
      Discard();
      throw;
    }
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno, true);
  if (existing_ == TExistingFile::kKeep) {
    if (!RenameKeepingExisting(dir_fd_, temp_name_, name_)) {
      if (errno != EEXIST) FailOnRename(errno);
      Discard();
      return false;
    }
  } else if (::renameat(dir_fd_, temp_name_.c_str(), dir_fd_, name_.c_str()) != 0) {
    FailOnRename(errno);
  }
  temp_name_.clear();
  UnregisterName(signal_slot_);
  ::fsync(dir_fd_);
  ::close(dir_fd_);
  dir_fd_ = -1;
  return true;
}

void TFileReplacement::FailOnRename(int error) {
  if (::unlinkat(dir_fd_, temp_name_.c_str(), 0) != 0 && errno != ENOENT)
    FailLeavingTemporary(error);
  temp_name_.clear();
  Fail(error, false);
}

void ReserveTemporaryFileSlots(int count) {
  int slots = TSignalSlotBlock::kSlots;
  for (TSignalSlotBlock* block = &first_slot_block; slots < count;
       slots += TSignalSlotBlock::kSlots) {
    TSignalSlotBlock* next = block->next.load();
    block = next ? next : AppendSlotBlock(block);
  }
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
