// Replacing a file whole: the one way every file the program writes is put in place (the
// streams' TSafeFileStream for images and PDFs, the settings file's writer).
//
// What a replacement guarantees:
// - Whole or not at all. The new content goes to an unnamed temporary file (O_TMPFILE) in the
//   target's folder, is synced, given a name and put in place by one rename; the folder is
//   synced after. Readers see the old file or the new one, never a part.
// - A failure leaves the old file as it was and no temporary file behind: full disk, read-only
//   folder, file-size limit (SIGXFSZ is ignored, so the write fails with EFBIG), a failing sync
//   or rename, or destruction without Commit(). Where a file system has no unnamed files, the
//   named temporary file is removed on failure, on SIGINT, SIGTERM and SIGHUP (see
//   CleanUpTemporaryFilesOnSignals), and, if a process was killed outright, by the next
//   replacement in that folder on the same machine (a temporary name carries the machine and
//   process id of its writer; a name of another machine sharing the folder stays until it is a
//   day old: see temporary_name.h).
// - Only a regular file is replaced: a folder, FIFO or device is refused before anything is
//   made. A file this user may not write is not replaced even where its folder allows the rename.
// - The new file keeps what the old one had, as far as the process may set it: owner and group,
//   permission bits without setuid and setgid (with an ACL, the owning group's bits of its group
//   entry, not its mask), ACL and extended attributes (file capabilities excepted). A hard link
//   is not followed: the name written gets the new file, other names keep the old content.
// - A symbolic link at the path is replaced by the file or followed, by TSymlinkRule.
// - An existing file is replaced or kept, by TExistingFile: kept, it is never replaced, even by a
//   file that appears between a check and the commit, or under another spelling of its name on a
//   file system that ignores case.
// - A new file is linked straight to its name. A temporary name is given only where the folder
//   lets it be removed again: in a folder that forbids removing names (append-only), replacing
//   an existing file is refused with an error naming the folder. Where that cannot be known in
//   advance and a temporary name could not be removed, the error names it.
// - While it waits to be put in place, a finished file can hold no descriptor (Park()).
#pragma once

#include <cstddef>
#include <string>

namespace qv {

struct TTemporaryNameSlot;

enum class TSymlinkRule {
  kReplaceLink,  // a symbolic link at the path is replaced; nothing is taken from its target
  kFollowLink,   // the file a symbolic link at the path points to is replaced; the link stays
};

// The file a replacement of path under rule puts the new content in: path itself, or for
// kFollowLink and a symbolic link at path, the file it resolves to.
std::string ReplacedFile(const std::string& path, TSymlinkRule rule);

enum class TExistingFile {
  kReplace,  // a file at the path is replaced
  kKeep,     // a file at the path stays: Commit() then puts nothing in place and returns false
};

class TFileReplacement {
 public:
  // Opens the temporary file. Throws EFCreateError naming path and the reason: the path names a
  // folder or no regular file, the folder is missing or cannot be written, the existing file
  // may not be written by this user (even where the folder would allow the rename), or it is to
  // be replaced in a folder that forbids removing names.
  TFileReplacement(const std::string& path, TSymlinkRule rule,
                   TExistingFile existing = TExistingFile::kReplace);
  // Without Commit() the temporary file goes and the old file stays as it was.
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // The temporary file, open for reading and writing (-1 after Commit() or Discard(), and while
  // parked).
  int Fd() const { return fd_; }
  // Writes all count bytes at the temporary file's position, going on after partial writes.
  // Throws EWriteError naming the path and the system's reason (full disk, file-size limit, or
  // "closed" after Commit() or Discard()); the old file stays untouched.
  void Write(const void* bytes, std::size_t count);
  // The file that is replaced (a followed link's target).
  const std::string& Target() const { return target_; }

  // Syncs the content, takes over the old file's owner, group, permission bits (never setuid or
  // setgid), ACL and extended attributes, puts the file in place (linked to its name, or renamed
  // over the old file) and syncs the folder. Returns false, having put nothing in place and
  // removed the temporary file, when a file at the path is to be kept (TExistingFile::kKeep).
  // Throws EWriteError (content) or EFCreateError (putting it in place), the old file then
  // untouched.
  bool Commit();
  // Syncs the content only, ahead of a Commit() made later (whose own sync then finds nothing
  // left to write). Throws EWriteError naming the path and the system's reason, and discards.
  void Sync();
  // Gives the written file a temporary name and closes its descriptors, the folder's included,
  // until Sync() or Commit() opens it again. Returns false, and keeps the descriptors, where the
  // name could not be removed again (see above) or not be given; nothing is written after it.
  bool Park();
  void Discard() noexcept;

 private:
  [[noreturn]] void Fail(int error, bool write_error);
  void LinkTemporaryName();
  // Opens the folder and the parked file again.
  void Unpark();
  // The temporary name with its folder.
  std::string TemporaryPath() const;
  // Throws EFCreateError naming the folder when it forbids removing names.
  void CheckNamesRemovable() const;
  // The temporary name could not be removed after a failure: the error names it.
  [[noreturn]] void FailLeavingTemporary(int error);
  // Putting the file in place failed with error: the temporary name goes, or the error names it.
  [[noreturn]] void FailOnRename(int error);
  std::string folder_;  // the target's folder as opened ("." for none)
  std::string path_;
  std::string target_;
  std::string name_;       // the target's name in its folder
  std::string temp_name_;  // the temporary file's name once it has one
  int dir_fd_ = -1;
  int fd_ = -1;
  TTemporaryNameSlot* signal_slot_ = nullptr;
  bool unnamed_ = false;
  bool parked_ = false;
  TExistingFile existing_;
};

// Makes room in the signal handler's table for count named temporary files at once, so that
// none of them needs memory while it is made (the table also grows when it is full).
void ReserveTemporaryFileSlots(int count);

// On SIGINT, SIGTERM and SIGHUP (unless ignored when the program started) removes every named
// temporary file of a replacement in progress and exits with 128 + the signal's number; SIGXFSZ
// is ignored, so a file-size limit fails the write (EFBIG) instead of killing the program.
void CleanUpTemporaryFilesOnSignals();

}  // namespace qv
