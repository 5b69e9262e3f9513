// The names of one drop as they are converted: the dropped names, and, when folders are walked,
// the files under each dropped folder in place of the folder, listed while the drop runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qv {

// One name of a drop.
struct TDropName {
  std::string path{};
  // The folder its output goes to below DstDir: "" for a dropped name, "<dropped folder's
  // name>/<path below it>/" for a file found in a dropped folder.
  std::string subfolder{};
  // Found in a dropped folder rather than named by the user: a file no reader takes is then
  // counted as no picture, not reported.
  bool listed = false;
  // A folder that could not be read: the reason. The name stands for the folder and fails.
  std::string error{};
  // Found in a dropped folder but no regular file (a FIFO, a device, a socket): counted as no
  // picture.
  bool not_a_file = false;
};

// How dropped folders are taken.
struct TFolderRule {
  bool recurse = false;         // a folder stands for the files under it (else it is passed over)
  bool include_hidden = false;  // names with a leading dot are taken too
};

// The names in order: each dropped name in turn, a dropped folder (with recurse) replaced by the
// files under it, depth first: in each folder its files, then its subfolders, each group in the
// byte order of the names. Symbolic links to folders are not followed (a loop cannot hang the
// drop); links to files are taken like files. The folders are walked on a thread of the
// object's own while names are taken, so the first names are converted at once, whatever the
// size of the tree; a folder's entries are read and sorted when the walk enters it.
class TDropNames {
 public:
  TDropNames(const std::vector<std::string>& dropped, TFolderRule rule);
  // Stops the walk.
  ~TDropNames();
  TDropNames(const TDropNames&) = delete;
  TDropNames& operator=(const TDropNames&) = delete;

  // Name index (0-based), waiting until the walk has come to it; none when the drop has fewer
  // names. Any thread may ask.
  std::optional<TDropName> At(int index);
  // The names known so far (every name once Complete()).
  int Known() const;
  // Waits until count names are known, the walk is over, or patience has passed; the names
  // known then.
  int WaitForKnown(int count, std::chrono::milliseconds patience);
  bool Complete() const;

 private:
  void Walk(std::vector<std::string> dropped);
  void WalkFolder(const std::string& folder, const std::string& subfolder);
  void Add(TDropName name);

  const TFolderRule rule_;
  mutable std::mutex mutex_;
  std::condition_variable added_;
  std::deque<TDropName> names_;
  bool complete_ = false;
  bool stop_ = false;
  std::thread walker_;
};

}  // namespace qv
