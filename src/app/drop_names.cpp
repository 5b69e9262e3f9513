// The names of one drop, dropped folders walked while the drop runs.
#include "app/drop_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qv {

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The name a dropped folder's tree gets below DstDir: its last component, however the path
// spells it ("photos/", "./photos", ".").
std::string FolderName(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) absolute = path;
  absolute = absolute.lexically_normal();
  std::string name = absolute.filename().string();
  if (name.empty()) name = absolute.parent_path().filename().string();  // "dir/" spells "dir"
  return name;
}

std::string Joined(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

TDropNames::TDropNames(const std::vector<std::string>& dropped, TFolderRule rule) : rule_(rule) {
  const bool walks = rule_.recurse && std::any_of(dropped.begin(), dropped.end(), IsFolder);
  if (!walks) {
    for (const std::string& name : dropped) names_.push_back(TDropName{.path = name});
    complete_ = true;
    return;
  }
  walker_ = std::thread([this, dropped] { Walk(dropped); });
}

TDropNames::~TDropNames() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  if (walker_.joinable()) walker_.join();
}

std::optional<TDropName> TDropNames::At(int index) {
  std::unique_lock lock(mutex_);
  const auto wanted = static_cast<std::size_t>(index);
  added_.wait(lock, [&] { return names_.size() > wanted || complete_; });
  if (index < 0 || wanted >= names_.size()) return std::nullopt;
  return names_[wanted];
}

int TDropNames::Known() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(names_.size());
}

int TDropNames::WaitForKnown(int count, std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  added_.wait_for(lock, patience, [&] {
    return names_.size() >= static_cast<std::size_t>(std::max(count, 0)) || complete_;
  });
  return static_cast<int>(names_.size());
}

bool TDropNames::Complete() const {
  std::lock_guard lock(mutex_);
  return complete_;
}

void TDropNames::Add(TDropName name) {
  {
    std::lock_guard lock(mutex_);
    names_.push_back(std::move(name));
  }
  added_.notify_all();
}

void TDropNames::Walk(std::vector<std::string> dropped) {
  try {
    for (const std::string& name : dropped) {
      {
        std::lock_guard lock(mutex_);
        if (stop_) break;
      }
      if (IsFolder(name))
        WalkFolder(name, FolderName(name) + "/");
      else
        Add(TDropName{.path = name});
    }
  } catch (...) {
    // Memory for the names ran out: the drop goes on with the names listed.
  }
  {
    std::lock_guard lock(mutex_);
    complete_ = true;
  }
  added_.notify_all();
}

void TDropNames::WalkFolder(const std::string& folder, const std::string& subfolder) {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  std::vector<std::string> others;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    std::string name = entries->path().filename().string();
    if (!rule_.include_hidden && name[0] == '.') continue;
    std::error_code kind_error;
    std::filesystem::file_status status = entries->symlink_status(kind_error);
    if (kind_error) continue;  // gone since it was listed
    if (std::filesystem::is_symlink(status)) {
      // A link to a folder is not followed; a link to a file is taken like the file; a broken
      // link is nothing to convert.
      status = entries->status(kind_error);
      if (kind_error || std::filesystem::is_directory(status)) continue;
    }
    if (std::filesystem::is_directory(status))
      folders.push_back(std::move(name));
    else if (std::filesystem::is_regular_file(status))
      files.push_back(std::move(name));
    else
      others.push_back(std::move(name));
  }
  if (error) {
    // Reported once, for the folder; the drop goes on with the rest.
    Add(TDropName{
        .path = folder, .subfolder = subfolder, .listed = true, .error = error.message()});
    return;
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  std::sort(others.begin(), others.end());
  for (const std::string& name : files) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    Add(TDropName{.path = Joined(folder, name), .subfolder = subfolder, .listed = true});
  }
  for (const std::string& name : others)
    Add(TDropName{
        .path = Joined(folder, name), .subfolder = subfolder, .listed = true, .not_a_file = true});
  for (const std::string& name : folders) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    WalkFolder(Joined(folder, name), subfolder + name + "/");
  }
}

}  // namespace qv
