// A file mapped into memory for reading, so that a reader can look at any part of it without
// reading the rest: only the pages looked at are read, and they count as the system's cache,
// not as the process's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qv {

class TMappedFile {
 public:
  // Maps the regular file at path; Bytes() is empty when it cannot be opened or mapped, or is
  // empty or no regular file. (A file cut shorter by another process while it is mapped ends the
  // program when the lost part is looked at: map only to take a quick look.)
  explicit TMappedFile(const std::string& path);
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qv
