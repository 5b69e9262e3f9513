// Byte streams: the abstract stream, memory streams and POSIX file streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qv {

class TFileReplacement;
enum class TExistingFile;

enum class SeekOrigin { kBeginning, kCurrent, kEnd };

// A sequence of bytes with a position, as codecs read and write them.
class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::kCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::kBeginning); }
  std::int64_t Size();
  // Bytes from the position to the end.
  std::int64_t Remaining() { return Size() - Position(); }

  // Reads up to count bytes, going on after partial reads until count bytes arrived or the
  // stream ended; returns how many arrived.
  std::size_t ReadUpTo(void* buffer, std::size_t count);
  // Reads exactly count bytes or throws EReadError.
  void ReadBuffer(void* buffer, std::size_t count);
  // Writes exactly count bytes or throws EWriteError.
  void WriteBuffer(const void* buffer, std::size_t count);
  void WriteBuffer(std::span<const std::uint8_t> bytes) { WriteBuffer(bytes.data(), bytes.size()); }
  void WriteString(const std::string& text) { WriteBuffer(text.data(), text.size()); }
};

// A stream over a growable byte vector.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;

  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  std::vector<std::uint8_t>& Bytes() { return data_; }
  void SetSize(std::size_t size);
  // Replaces the content with the whole file (throws EFOpenError / EReadError).
  void LoadFromFile(const std::string& path);
  // Writes the content to path through a temporary file renamed into place.
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

// A read-only stream over borrowed bytes.
class TReadOnlyMemoryStream : public TStream {
 public:
  explicit TReadOnlyMemoryStream(std::span<const std::uint8_t> bytes) : data_(bytes) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};

// A file opened for reading (others may read, writers are not shut out on POSIX).
class TFileStream : public TStream {
 public:
  // Throws EFOpenError naming the path and the system's reason.
  explicit TFileStream(const std::string& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// A file being written through a TFileReplacement (file_replacement.h says what it guarantees):
// bytes go to a temporary file in the target's folder, and Commit() puts it in place whole; a
// symbolic link at the target is replaced by the file. Destroyed without Commit() (a failure on
// the way), the temporary file is removed and any old file at the target is left untouched.
class TSafeFileStream : public TStream {
 public:
  // Throws EFCreateError naming the path and the system's reason. A file at the path is
  // replaced, or with TExistingFile::kKeep kept (Commit() then returns false).
  explicit TSafeFileStream(const std::string& path);
  TSafeFileStream(const std::string& path, TExistingFile existing);
  ~TSafeFileStream() override;
  TSafeFileStream(const TSafeFileStream&) = delete;
  TSafeFileStream& operator=(const TSafeFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  // Throws EWriteError naming the target and the system's reason (full disk, ...).
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  // Syncs and puts the finished file into place (throws EWriteError / EFCreateError on failure).
  // Returns false, having put nothing in place, when an existing file is kept.
  bool Commit();
  // Syncs the content without putting the file in place yet (throws EWriteError on failure).
  void Sync();
  // Gives the file a modification time (seconds and nanoseconds since the epoch), kept when it
  // is put in place; nothing is written after. Throws EWriteError on failure.
  void SetModificationTime(std::int64_t seconds, long nanoseconds);
  // The finished file holds no descriptor until it is synced or committed (see
  // TFileReplacement::Park); false when it keeps them. Nothing is read or written after it.
  bool Park();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::unique_ptr<TFileReplacement> file_;
  bool committed_ = false;
  bool placed_ = false;
};

// Reads a whole file into memory (throws EFOpenError / EReadError).
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

}  // namespace qv
