// Replacing a file whole: the new content goes to an unnamed temporary file in the target's
// folder and is put in place by one rename, taking over what the old file had (owner, group,
// permission bits, ACL, extended attributes); the folder is synced after.
#pragma once

#include <string>

namespace qv {

enum class TSymlinkRule {
  kReplaceLink,  // a symbolic link at the path is replaced; nothing is taken from its target
  kFollowLink,   // the file a symbolic link at the path points to is replaced; the link stays
};

class TFileReplacement {
 public:
  // Opens the temporary file. Throws EFCreateError naming path and the reason: the path names a
  // folder or no regular file, the folder is missing or cannot be written, or the existing file
  // may not be written by this user (even where the folder would allow the rename).
  TFileReplacement(const std::string& path, TSymlinkRule rule);
  // Without Commit() the temporary file goes and the old file stays as it was.
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // The temporary file, open for reading and writing.
  int Fd() const { return fd_; }
  // The file that is replaced (a followed link's target).
  const std::string& Target() const { return target_; }

  // Syncs the content, takes over the old file's owner, group, permission bits (never setuid or
  // setgid), ACL and extended attributes, renames the file into place and syncs the folder.
  // Throws EWriteError (content) or EFCreateError (the rename), the old file then untouched.
  void Commit();
  void Discard() noexcept;

 private:
  void LinkTemporaryName();
  std::string path_;
  std::string target_;
  std::string name_;       // the target's name in its folder
  std::string temp_name_;  // the temporary file's name once it has one
  int dir_fd_ = -1;
  int fd_ = -1;
  int signal_slot_ = -1;
  bool unnamed_ = false;
};

// On SIGINT, SIGTERM and SIGHUP (unless ignored when the program started) removes every named
// temporary file of a replacement in progress and exits with 128 + the signal's number; SIGXFSZ
// is ignored, so a file-size limit fails the write (EFBIG) instead of killing the program.
void CleanUpTemporaryFilesOnSignals();

}  // namespace qv
