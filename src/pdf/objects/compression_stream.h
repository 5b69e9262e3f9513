// TCompressionStream: a write-only stream that deflates what it is given into another stream.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/stream.h"

namespace qv {

enum class TCompressionLevel { clNone = 0, clFastest = 1, clDefault = -1, clMax = 9 };

// Deflates into a zlib-format stream (window 2^15, memory level 8, default strategy) through a
// 65536-byte output buffer. Finish() (or destruction) ends the compressed stream.
class TCompressionStream : public TStream {
 public:
  TCompressionStream(TCompressionLevel level, TStream &destination);
  // Finishes the stream when Finish() was not called; errors are swallowed here, so call
  // Finish() to see them.
  ~TCompressionStream() override;
  TCompressionStream(const TCompressionStream &) = delete;
  TCompressionStream &operator=(const TCompressionStream &) = delete;

  // Fails with ECompressionError "不正なストリームオペレーション".
  std::size_t Read(void *buffer, std::size_t count) override;
  // Deflates the bytes without flushing; ECompressionError "エラー" on a zlib error.
  std::size_t Write(const void *buffer, std::size_t count) override;
  // Only Seek(0, kCurrent) is allowed: the count of input bytes consumed so far.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  // Ends the compressed stream and writes the last bytes; later calls do nothing.
  void Finish();

 private:
  void WriteOut(std::size_t count);
  struct ZStream;
  std::unique_ptr<ZStream> z_;
  TStream &destination_;
  std::int64_t destination_position_;
  std::vector<std::uint8_t> buffer_;
  bool finished_ = false;
};

}  // namespace qv
