// A JPEG (or another reader's rows) decoded straight into a picture resized with a filtered
// method, band by band, never held at its full size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "imaging/bitmap.h"
#include "imaging/column_stream.h"
#include "imaging/filtered_resample.h"
#include "runtime/spare_threads.h"

namespace qv {

class TJPEGImage;
struct TResampleFilter;

// The steps of FilteredResample with the source rows coming from the decoder: each band of rows
// the library delivers goes through the horizontal pass into a ring of work rows (TColumnStream),
// and each destination row is made as soon as the work rows it reads are in. The result is
// exactly what FilteredResample makes of the decoded picture.
//
// Invariant: a band's horizontal pass may run on a spare thread (on a copy of its rows) while the
// decoder makes the next band, but at most one band is out at a time, and before a band is placed
// in the ring every band before the latest one is complete. The destination rows are then made
// only up to the first row of the latest band: no destination row is ever made from a work row
// whose pass may still be running, and the ring, sized for a lag of one band, never overwrites a
// work row a destination row not yet made reads.
class TJpegResizeStream {
 public:
  // A stream for a src_width x src_height picture resized to width x height with the filter; the
  // spare threads of work may take its passes. Throws EOutOfMemory (or std::bad_alloc) when its
  // rows cannot be had.
  TJpegResizeStream(const TResampleFilter& filter, int src_width, int src_height, int width,
                    int height, const TWorkContext& work = {});
  TJpegResizeStream(const TJpegResizeStream&) = delete;
  TJpegResizeStream& operator=(const TJpegResizeStream&) = delete;

  // Decodes jpeg's held bytes (at its scale, which must give the source size) through the
  // stream into image. Returns false, image unchanged, when the JPEG does not decode to 24-bit
  // colour rows. Throws EJPEG as decoding does.
  bool Decode(TJPEGImage& jpeg, TBitmap& image);

  // Called with each destination row (its first pixel, and its width) once it is made, in order.
  void SetRowFinish(std::function<void(std::uint8_t* row, int width)> finish) {
    finish_row_ = std::move(finish);
  }

  // For another reader: the next count rows of 24-bit pixels (any number), step bytes apart.
  void TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count);
  // For another reader: the resized picture, source rows not taken counting as black (as a
  // reader that stops early leaves them).
  TBitmap Finish();

 private:
  // Takes the next count decoded rows, step bytes apart.
  void TakeBand(const std::uint8_t* rows, std::ptrdiff_t step, int count);

  const TWorkContext work_;
  const int src_width_;
  const int src_height_;
  const TContributionLists row_lists_;
  const TRowPass row_pass_;
  const TContributionLists column_lists_;
  const TColumnPass column_pass_;
  TBitmap dest_;
  TColumnStream columns_;
  THandOff hand_off_;
  // Hands the destination rows made since the last call to finish_row_.
  void FinishRowsMade();

  std::function<void(std::uint8_t* row, int width)> finish_row_;
  int finished_ = 0;      // destination rows finish_row_ has had
  int next_row_ = 0;      // the first source row not yet taken
  int latest_first_ = 0;  // the first row of the latest band
};

}  // namespace qv
