// A picture resized by a bilinear method while its rows are read, never held at its full size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "app/job_options.h"
#include "imaging/bitmap.h"
#include "imaging/row_resizer.h"
#include "imaging/source_row_ring.h"
#include "runtime/work_context.h"

namespace qv {

// The rows of a src_width x src_height picture, top to bottom, go in; the picture ResizeBitmap
// makes of the whole picture with the method comes out, every byte the same (24 bits for
// "Bi-Linear", 32 for "Bi-Linear(MMX)").
class TRowResize {
 public:
  // A resize of the method between these sizes, or nullptr when the method is not a bilinear
  // one, a size is below 1, the whole-picture resize would fail (a one-row picture for the
  // fixed-point method), or the rows it needs cannot be had (the caller then reads the whole
  // picture and resizes it as usual). chunk_rows: the most rows one TakeRows call hands in. The
  // spare threads of work may make destination rows.
  static std::unique_ptr<TRowResize> For(TResampleMethod method, int src_width, int src_height,
                                         int width, int height, int chunk_rows,
                                         const TWorkContext& work = {});
  TRowResize(const TRowResize&) = delete;
  TRowResize& operator=(const TRowResize&) = delete;
  ~TRowResize();

  // Called with each destination row (its first pixel, and its width) once it is made, in order.
  void SetRowFinish(std::function<void(std::uint8_t* row, int width)> finish) {
    finish_row_ = std::move(finish);
  }

  // The next count rows (at most chunk_rows) of 24-bit pixels, step bytes apart.
  void TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count);
  // Whether the rows may be written straight into the resize (PlaceOf, TakePlacedRows): for
  // "Bi-Linear", whose source pixels are the rows' own 3 bytes.
  bool TakesPlacedRows() const { return resizer_->SourcePixelBytes() == 3; }
  // Where source row row is to be written (24-bit pixels); see TSourceRowRing::PlaceOf.
  std::uint8_t* PlaceOf(int row) { return ring_->PlaceOf(row); }
  // The next count rows (at most chunk_rows), written where PlaceOf said.
  void TakePlacedRows(int count);
  // The resized picture; source rows not handed in count as black (as a decoder that stops
  // early leaves them).
  TBitmap Finish();

 private:
  TRowResize(std::unique_ptr<IRowResizer> resizer, int width, int height, TPixelFormat format,
             int chunk_rows, const TWorkContext& work);
  std::unique_ptr<IRowResizer> resizer_;
  TBitmap dest_;
  std::unique_ptr<TSourceRowRing> ring_;
  int chunk_rows_;
  std::function<void(std::uint8_t* row, int width)> finish_row_;
  int finished_ = 0;  // destination rows finish_row_ has had

  void FinishRowsMade();
};

}  // namespace qv
