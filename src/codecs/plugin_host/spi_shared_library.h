// A loaded shared object (dlopen handle) that is closed again when its owner goes away.
#pragma once

#include <string>

namespace qv {

class TSharedLibrary {
 public:
  TSharedLibrary() = default;
  ~TSharedLibrary();
  TSharedLibrary(TSharedLibrary &&other) noexcept;
  TSharedLibrary &operator=(TSharedLibrary &&other) noexcept;
  TSharedLibrary(const TSharedLibrary &) = delete;
  TSharedLibrary &operator=(const TSharedLibrary &) = delete;

  // Loads the file with every symbol bound at once and kept local to it; an empty library when
  // the file is not a loadable shared object (no message: the caller skips it).
  static TSharedLibrary Open(const std::string &path);

  bool Loaded() const { return handle_ != nullptr; }
  // Address of the exported symbol, or nullptr when it is absent.
  void *Symbol(const char *name) const;
  // Unloads now (also done by the destructor).
  void Close() noexcept;

 private:
  void *handle_ = nullptr;
};

}  // namespace qv
