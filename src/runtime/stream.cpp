// Byte streams: the abstract stream, memory streams and POSIX file streams.
#include "runtime/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "runtime/exceptions.h"
#include "runtime/file_replacement.h"
#include "runtime/messages.h"
#include "runtime/paths.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

std::int64_t TStream::Size() {
  std::int64_t position = Position();
  std::int64_t size = Seek(0, SeekOrigin::kEnd);
  Seek(position, SeekOrigin::kBeginning);
  return size;
}

std::size_t TStream::ReadUpTo(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    std::size_t n = Read(out + total, count - total);
    if (n == 0) break;
    total += n;
  }
  return total;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (ReadUpTo(buffer, count) < count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    std::size_t n = Write(in, count);
    if (n == 0) throw EWriteError();
    in += n;
    count -= n;
  }
}

namespace {

std::int64_t NewPosition(std::int64_t offset, SeekOrigin origin, std::int64_t current,
                         std::int64_t size) {
  std::int64_t base = origin == SeekOrigin::kBeginning ? 0
                      : origin == SeekOrigin::kCurrent ? current
                                                       : size;
  std::int64_t position = base + offset;
  return position < 0 ? 0 : position;
}

}  // namespace

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ =
      static_cast<std::size_t>(NewPosition(offset, origin, static_cast<std::int64_t>(position_),
                                           static_cast<std::int64_t>(data_.size())));
  return static_cast<std::int64_t>(position_);
}

void TMemoryStream::SetSize(std::size_t size) {
  data_.resize(size);
  position_ = std::min(position_, size);
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  data_ = ReadWholeFile(path);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  TSafeFileStream file(path);
  file.WriteBuffer(data_.data(), data_.size());
  file.Commit();
}

std::size_t TReadOnlyMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TReadOnlyMemoryStream::Write(const void*, std::size_t) { return 0; }

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ =
      static_cast<std::size_t>(NewPosition(offset, origin, static_cast<std::int64_t>(position_),
                                           static_cast<std::int64_t>(data_.size())));
  return static_cast<std::int64_t>(position_);
}

namespace {

int ToWhence(SeekOrigin origin) {
  return origin == SeekOrigin::kBeginning ? SEEK_SET
         : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                          : SEEK_END;
}

std::size_t ReadFd(int fd, void* buffer, std::size_t count) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, count);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return 0;
  }
}

}  // namespace

TFileStream::TFileStream(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw EFOpenError(path, SystemErrorMessage(errno));
  // Only regular files are read: a FIFO or device would block or never end.
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd_);
    fd_ = -1;
    throw EFOpenError(path, SystemErrorMessage(error));
  }
  int flags = ::fcntl(fd_, F_GETFL);
  ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  return ReadFd(fd_, buffer, count);
}

std::size_t TFileStream::Write(const void*, std::size_t) { return 0; }

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  off_t position = ::lseek(fd_, offset, ToWhence(origin));
  return position < 0 ? 0 : position;
}

TSafeFileStream::TSafeFileStream(const std::string& path)
    : TSafeFileStream(path, TExistingFile::kReplace) {}

TSafeFileStream::TSafeFileStream(const std::string& path, TExistingFile existing)
    : path_(path),
      file_(std::make_unique<TFileReplacement>(path, TSymlinkRule::kReplaceLink, existing)) {}

TSafeFileStream::~TSafeFileStream() = default;

std::size_t TSafeFileStream::Read(void* buffer, std::size_t count) {
  if (committed_) return 0;
  return ReadFd(file_->Fd(), buffer, count);
}

std::size_t TSafeFileStream::Write(const void* buffer, std::size_t count) {
  file_->Write(buffer, count);
  return count;
}

std::int64_t TSafeFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (committed_) return 0;
  off_t position = ::lseek(file_->Fd(), offset, ToWhence(origin));
  return position < 0 ? 0 : position;
}

void TSafeFileStream::Sync() {
  if (!committed_) file_->Sync();
}

void TSafeFileStream::SetModificationTime(std::int64_t seconds, long nanoseconds) {
  if (committed_) return;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
  if (::futimens(file_->Fd(), times) != 0)
    throw EWriteError(FormatText(Tr(messages::kFWriteError), {path_, SystemErrorMessage(errno)}));
}

bool TSafeFileStream::Commit() {
  if (!committed_) {
    placed_ = file_->Commit();
    committed_ = true;
  }
  return placed_;
}

bool TSafeFileStream::Park() { return !committed_ && file_->Park(); }

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  TFileStream file(path);
  std::int64_t size = file.Size();
  std::vector<std::uint8_t> bytes;
  if (size > 0) {
    if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max() / 2)
      throw EOutOfMemory();
    bytes.resize(static_cast<std::size_t>(size));
    file.ReadBuffer(bytes.data(), bytes.size());
  }
  return bytes;
}

}  // namespace qv
