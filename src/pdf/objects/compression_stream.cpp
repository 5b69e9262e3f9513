// TCompressionStream over zlib's deflate.
#include "pdf/objects/compression_stream.h"

#include <zlib.h>

#include "pdf/objects/pdf_exceptions.h"
#include "runtime/translation.h"

namespace qv {

namespace {
constexpr std::size_t kBufferSize = 65536;
}

struct TCompressionStream::ZStream {
  z_stream stream{};
};

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream &destination)
    : z_(std::make_unique<ZStream>()),
      destination_(destination),
      destination_position_(destination.Position()),
      buffer_(kBufferSize) {
  z_->stream.next_out = buffer_.data();
  z_->stream.avail_out = static_cast<uInt>(buffer_.size());
  if (deflateInit2(&z_->stream, static_cast<int>(level), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    throw ECompressionError(Tr(pdf_messages::kCompressionError));
}

TCompressionStream::~TCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // A destructor must not throw; callers that care call Finish().
  }
  deflateEnd(&z_->stream);
}

std::size_t TCompressionStream::Read(void *, std::size_t) {
  throw ECompressionError(Tr(pdf_messages::kInvalidStreamOperation));
}

void TCompressionStream::WriteOut(std::size_t count) {
  destination_.SetPosition(destination_position_);
  destination_.WriteBuffer(buffer_.data(), count);
  destination_position_ = destination_.Position();
  z_->stream.next_out = buffer_.data();
  z_->stream.avail_out = static_cast<uInt>(buffer_.size());
}

std::size_t TCompressionStream::Write(const void *buffer, std::size_t count) {
  if (finished_) throw ECompressionError(Tr(pdf_messages::kInvalidStreamOperation));
  const auto *bytes = static_cast<const Bytef *>(buffer);
  std::size_t left = count;
  while (left > 0) {
    // zlib counts in 32 bits: hand over large buffers in pieces.
    uInt piece = left > (1u << 30) ? (1u << 30) : static_cast<uInt>(left);
    z_->stream.next_in = const_cast<Bytef *>(bytes);
    z_->stream.avail_in = piece;
    while (z_->stream.avail_in > 0) {
      if (deflate(&z_->stream, Z_NO_FLUSH) < 0)
        throw ECompressionError(Tr(pdf_messages::kCompressionError));
      if (z_->stream.avail_out == 0) WriteOut(buffer_.size());
    }
    bytes += piece;
    left -= piece;
  }
  return count;
}

std::int64_t TCompressionStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (offset == 0 && origin == SeekOrigin::kCurrent)
    return static_cast<std::int64_t>(z_->stream.total_in);
  throw ECompressionError(Tr(pdf_messages::kInvalidStreamOperation));
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  z_->stream.next_in = nullptr;
  z_->stream.avail_in = 0;
  for (;;) {
    int rc = deflate(&z_->stream, Z_FINISH);
    if (rc < 0 && rc != Z_BUF_ERROR) throw ECompressionError(Tr(pdf_messages::kCompressionError));
    if (z_->stream.avail_out == 0) {
      WriteOut(buffer_.size());
      if (rc == Z_STREAM_END) break;
      continue;
    }
    if (rc == Z_STREAM_END) break;
  }
  std::size_t last = buffer_.size() - z_->stream.avail_out;
  if (last > 0) WriteOut(last);
}

}  // namespace qv
