// A library object a plug-in owns, released by the library's own function when its owner goes.
#pragma once

namespace spi_plugin {

template <typename T, auto Release>
class TOwned {
 public:
  TOwned() = default;
  explicit TOwned(T *object) : object_(object) {}
  ~TOwned() {
    if (object_ != nullptr) Release(object_);
  }
  TOwned(const TOwned &) = delete;
  TOwned &operator=(const TOwned &) = delete;
  T *Get() const { return object_; }
  // Where a library function puts the object it makes (while the owner holds none).
  T **Receiver() { return &object_; }

 private:
  T *object_ = nullptr;
};

}  // namespace spi_plugin
