// The vertical pass of the filtered resampler fed with the work rows as they are made, top to
// bottom, keeping only the rows still to be read in a ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/work_context.h"

namespace qv {

class TColumnPass;

// Each destination row is made once every work row its taps read is in: the full work image
// (destination width by source height) is never held. The bytes are those of ResampleColumns
// over the whole work image.
//
// The work rows come in bands of at most band_rows rows, in order from row 0. A band may be
// written while the band before it is still being made (on another thread): before each band is
// placed, the destination rows above the previous band's first row must have been made
// (MakeRowsAbove), and the ring is sized for that lag of one band.
class TColumnStream {
 public:
  // dest (24-bit, at least width pixels wide, one row per list of pass) gets the rows; the work
  // image is width pixels wide and work_height rows high. pass and dest must outlive the stream;
  // the spare threads of work may make destination rows. Throws EOutOfMemory when the ring
  // cannot be had.
  TColumnStream(const TColumnPass& pass, int width, int work_height, int band_rows, TBitmap& dest,
                const TWorkContext& work = {});
  TColumnStream(const TColumnStream&) = delete;
  TColumnStream& operator=(const TColumnStream&) = delete;

  // Where work rows first .. first + count - 1 are to be written, Step() bytes apart: count is
  // at most band_rows and at most RowsBeforeWrap(first). Throws std::logic_error when those rows
  // would overwrite a row a destination row not yet made still reads.
  std::uint8_t* Band(int first, int count);
  std::ptrdiff_t Step() const { return step_; }
  // How many rows from first on lie in one run of the ring.
  int RowsBeforeWrap(int first) const { return ring_rows_ - first % ring_rows_; }
  int RingRows() const { return ring_rows_; }

  // Makes, in order, every destination row not yet made whose taps all lie above work row y;
  // the work rows above y must be in place.
  void MakeRowsAbove(int y);
  // Makes the destination rows left; every work row must be in place.
  void Finish() { MakeRowsAbove(work_height_); }
  // The destination rows made so far (rows 0 to RowsMade() - 1).
  int RowsMade() const { return next_; }

 private:
  const TColumnPass& pass_;
  const TWorkContext work_;
  int width_;
  int work_height_;
  TBitmap& dest_;
  TBitmap ring_;
  int ring_rows_ = 0;
  std::uint8_t* slot0_ = nullptr;  // first row of the ring
  std::ptrdiff_t step_ = 0;
  std::vector<const std::uint8_t*> rows_;  // work row j -> its slot in the ring
  std::vector<int> ready_;  // destination row i can be made once this many work rows are in
  std::vector<int> keep_;   // the lowest work row destination rows i and after still read
  int next_ = 0;            // first destination row not made
};

}  // namespace qv
