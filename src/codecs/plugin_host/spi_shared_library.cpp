// A loaded shared object: dlopen, dlsym and dlclose behind one owner.
#include "codecs/plugin_host/spi_shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace qv {

TSharedLibrary::~TSharedLibrary() { Close(); }

TSharedLibrary::TSharedLibrary(TSharedLibrary &&other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

TSharedLibrary &TSharedLibrary::operator=(TSharedLibrary &&other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

TSharedLibrary TSharedLibrary::Open(const std::string &path) {
  TSharedLibrary library;
  // RTLD_NOW: a plug-in with a missing dependency fails here, not in the middle of a decode.
  library.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle_ == nullptr) dlerror();  // clear the error state
  return library;
}

void *TSharedLibrary::Symbol(const char *name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

void TSharedLibrary::Close() noexcept {
  if (handle_ != nullptr) dlclose(std::exchange(handle_, nullptr));
}

}  // namespace qv
