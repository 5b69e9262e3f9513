// A resize by any resampling method fed with its source rows as a reader makes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/job_options.h"
#include "imaging/bitmap.h"
#include "runtime/work_context.h"

namespace qv {

class TJpegResizeStream;
class TRowResize;

// The rows of a src_width x src_height picture of 24-bit pixels go in top to bottom, in any
// number at a time; what ResizeBitmap makes of the whole picture comes out, every byte the same,
// while only the rows the resize still reads are held (a ring for the bilinear methods, the
// horizontal pass's rows for the filtered ones).
class TStreamedResize {
 public:
  // A resize of the method between these sizes, or nullptr when the method does not resample,
  // a size is below 1, the whole-picture resize would fail, or the rows it needs cannot be had
  // (the caller then reads the whole picture and resizes it as usual). With sepia, each
  // destination row of a 24-bit result is toned as soon as it is made (Tones() tells whether it
  // is): the picture SepiaStep makes of the resized one. fourth_byte: the whole picture has a
  // fourth byte per pixel, which the fixed-point method would carry through (it is then left to
  // the whole picture). The spare threads of work may share the resize.
  static std::unique_ptr<TStreamedResize> For(TResampleMethod method, int src_width, int src_height,
                                              int width, int height, bool sepia = false,
                                              bool fourth_byte = false,
                                              const TWorkContext& work = {});
  TStreamedResize(const TStreamedResize&) = delete;
  TStreamedResize& operator=(const TStreamedResize&) = delete;
  ~TStreamedResize();

  bool Tones() const { return tones_; }

  void TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count);
  // The resized picture; source rows not handed in count as black. like: a picture (of any size)
  // of the whole picture's pixel format, palette, file fields and transparent colour, which the
  // filtered methods keep, as they resize into a copy of the picture.
  TBitmap Finish(const TBitmap& like);

 private:
  TStreamedResize() = default;
  std::unique_ptr<TRowResize> rows_;
  std::unique_ptr<TJpegResizeStream> filtered_;
  int chunk_rows_ = 1;
  bool tones_ = false;
};

}  // namespace qv
