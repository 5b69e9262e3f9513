// libjpeg data source and destination over memory: decoding reads a byte buffer we hold,
// encoding appends to a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace qv {

struct JpegErrorState;

// Source over data[0, size). At the end it hands the library a fake end-of-image marker with a
// "premature end" warning, as the library's file source does; an empty buffer is the library's
// "Empty input file" error.
struct JpegMemorySource {
  jpeg_source_mgr manager;  // first member
  const std::uint8_t *data = nullptr;
  std::size_t size = 0;
};

// Points cinfo's source at the buffer (call inside a guarded step).
void SetJpegMemorySource(j_decompress_ptr cinfo, JpegMemorySource &source, const std::uint8_t *data,
                         std::size_t size);

// Destination appending to *out through a transfer buffer; running out of memory ends the
// library call through the error jump with the exception pending.
struct JpegMemoryDestination {
  jpeg_destination_mgr manager;  // first member
  JpegErrorState *errors = nullptr;
  std::vector<std::uint8_t> *out = nullptr;
  std::uint8_t buffer[65536];
};

// Points cinfo's destination at out (call inside a guarded step).
void SetJpegMemoryDestination(j_compress_ptr cinfo, JpegMemoryDestination &destination,
                              JpegErrorState &errors, std::vector<std::uint8_t> &out);

}  // namespace qv
