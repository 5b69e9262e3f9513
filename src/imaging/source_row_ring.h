// A resize fed with its source rows top to bottom, as a decoder delivers them: only the rows
// that destination rows not yet made still read are held, in a ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/row_resizer.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;

// Each destination row is made as soon as every source row it reads is in (the spare threads of
// the work context may take some of them, runtime/spare_threads.h), so the bytes are those of the
// resizer over the whole picture while the whole picture is never held. Source rows no destination
// row reads are not even copied.
//
// The rows come in chunks of at most chunk_rows rows, in order from row 0; the ring holds the
// widest reach of one destination row plus one chunk.
class TSourceRowRing {
 public:
  // True when every destination row of resizer reads only rows of the source (a resizer that
  // reaches outside fails on the whole picture; it is left to that path).
  static bool Streams(const IRowResizer& resizer);

  // dest (at least the resizer's destination size, in its format) gets the rows; resizer and
  // dest must outlive the ring. Throws EOutOfMemory when the ring cannot be had, and
  // std::logic_error for a resizer that does not stream.
  TSourceRowRing(const IRowResizer& resizer, TBitmap& dest, int chunk_rows,
                 const TWorkContext& work = {});
  TSourceRowRing(const TSourceRowRing&) = delete;
  TSourceRowRing& operator=(const TSourceRowRing&) = delete;

  // Takes the next count source rows (count at most chunk_rows; rows past the source's height
  // are ignored) of 24-bit pixels (blue, green, red), step bytes apart, and makes the
  // destination rows they complete.
  void TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count);
  // Where a decoder may write source row row (of 24-bit pixels, the source's width) for
  // TakePlacedRows to take it without a copy: its place in the ring, or for a row no
  // destination row reads a spare row. Rows from NextRow() to NextRow() + chunk_rows - 1 have
  // places of their own. Only for a resizer that reads 3 bytes a pixel (std::logic_error).
  std::uint8_t* PlaceOf(int row);
  // Takes the next count source rows (count at most chunk_rows), each already written where
  // PlaceOf says, and makes the destination rows they complete.
  void TakePlacedRows(int count);
  // The first source row not yet taken.
  int NextRow() const { return next_row_; }
  // The destination rows made so far (rows 0 to RowsMade() - 1).
  int RowsMade() const { return next_dest_; }
  // Makes the destination rows left; every source row must have been taken (std::logic_error).
  void Finish();

 private:
  void MakeRowsAbove(int y);

  const IRowResizer& resizer_;
  const TWorkContext work_;
  std::uint8_t* dest0_ = nullptr;  // destination row 0
  std::ptrdiff_t dest_step_ = 0;
  int chunk_rows_;
  int width_;
  int height_;
  int pixel_bytes_;
  int ring_rows_ = 0;
  std::size_t row_bytes_ = 0;
  std::vector<std::uint8_t> ring_;         // ring_rows_ rows, a spare row, 4 bytes to spare
  std::vector<const std::uint8_t*> rows_;  // source row j -> its slot in the ring
  std::vector<bool> read_;                 // source row j is read by some destination row
  std::vector<int> ready_;  // destination row i can be made once this many source rows are in
  int next_row_ = 0;        // first source row not taken
  int next_dest_ = 0;       // first destination row not made
};

}  // namespace qv
