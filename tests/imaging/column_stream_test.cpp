// Tests of the streamed vertical pass: the ring of work rows gives the rows of the whole pass.
#include "imaging/column_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "imaging/filtered_resample.h"
#include "imaging/image_helpers.h"

namespace qv {
namespace {

using testing::PixelBytes;

TContributionLists ColumnLists(int work_height, int dest_height, int filter_row) {
  const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(filter_row)];
  return BuildContributions(ResampleScale(dest_height, work_height), work_height, dest_height,
                            filter.kernel, filter.support);
}

// Feeds work to the stream in bands of the given heights (cycled), as a decoder does with the
// pass of each band still running while the next one is placed: the destination rows lag one
// band behind.
TBitmap Streamed(const TBitmap& work, int dest_height, const TColumnPass& pass, int band_rows,
                 const std::vector<int>& bands) {
  TBitmap dest;
  dest.Allocate(work.Width(), dest_height, TPixelFormat::pf24bit);
  TColumnStream stream(pass, work.Width(), work.Height(), band_rows, dest);
  const std::size_t row_bytes = 3 * static_cast<std::size_t>(work.Width());
  int y = 0, latest = 0;
  for (std::size_t b = 0; y < work.Height(); ++b) {
    int count = std::min(bands[b % bands.size()], work.Height() - y);
    stream.MakeRowsAbove(latest);
    latest = y;
    for (int done = 0; done < count;) {
      int run = std::min(count - done, stream.RowsBeforeWrap(y));
      std::uint8_t* out = stream.Band(y, run);
      for (int r = 0; r < run; ++r)
        std::copy_n(work.ScanLine(y + r), row_bytes, out + r * stream.Step());
      y += run;
      done += run;
    }
  }
  stream.Finish();
  return dest;
}

TEST(ColumnStream, GivesTheRowsOfTheWholePassForAnyBands) {
  std::mt19937 random(7);
  for (auto [work_height, dest_height] :
       {std::pair{3000, 480}, {1003, 97}, {149, 61}, {149, 150}, {40, 300}, {1, 5}, {700, 1}}) {
    TBitmap work = testing::Random24(13, work_height, static_cast<unsigned>(work_height));
    for (int filter_row = 0; filter_row < 4; ++filter_row) {
      const TContributionLists lists = ColumnLists(work_height, dest_height, filter_row);
      TBitmap whole;
      whole.Allocate(work.Width(), dest_height, TPixelFormat::pf24bit);
      ResampleColumns(work, whole, lists);
      const TColumnPass pass(lists);
      std::vector<int> uneven(9);
      for (int& rows : uneven) rows = 1 + static_cast<int>(random() % 32);
      for (const std::vector<int>& bands :
           {std::vector<int>{32}, std::vector<int>{1}, std::vector<int>{7, 32, 3}, uneven}) {
        EXPECT_EQ(PixelBytes(Streamed(work, dest_height, pass, 32, bands)), PixelBytes(whole))
            << work_height << " to " << dest_height << ", filter " << filter_row << ", bands of "
            << bands.front() << "...";
      }
    }
  }
}

TEST(ColumnStream, HoldsAFewBandsOfAReductionNotTheWholeHeight) {
  // 8490 rows to 1200 with Lanczos3: one destination row reads about 43 work rows.
  const TContributionLists lists = ColumnLists(8490, 1200, 1);
  const TColumnPass pass(lists);
  TBitmap dest;
  dest.Allocate(16, 1200, TPixelFormat::pf24bit);
  TColumnStream stream(pass, 16, 8490, 32, dest);
  EXPECT_GE(stream.RingRows(), 43 + 64);
  EXPECT_LE(stream.RingRows(), 160);
  EXPECT_EQ(stream.RingRows() % 32, 0);
  // A short picture is held whole.
  const TContributionLists short_lists = ColumnLists(50, 10, 1);
  const TColumnPass short_pass(short_lists);
  TColumnStream short_stream(short_pass, 16, 50, 32, dest);
  EXPECT_EQ(short_stream.RingRows(), 50);
}

TEST(ColumnStream, RefusesABandThatWouldOverwriteRowsStillToBeRead) {
  const TContributionLists lists = ColumnLists(1000, 100, 1);
  const TColumnPass pass(lists);
  TBitmap dest;
  dest.Allocate(4, 100, TPixelFormat::pf24bit);
  TColumnStream stream(pass, 4, 1000, 32, dest);
  const int ring = stream.RingRows();
  ASSERT_LT(ring, 1000);
  // The first ring's worth of rows fits; the next band would drop row 0, which destination
  // row 0 still reads as none has been made.
  for (int y = 0; y < ring; y += 32) stream.Band(y, std::min(32, ring - y));
  EXPECT_THROW(stream.Band(ring, 32), std::logic_error);
  // Made, they free the ring. A band across the ring's end or beyond the picture is refused.
  stream.MakeRowsAbove(ring);
  EXPECT_NO_THROW(stream.Band(ring, 32));
  EXPECT_EQ(stream.RowsBeforeWrap(2 * ring - 16), 16);
  EXPECT_THROW(stream.Band(2 * ring - 16, 32), std::logic_error);
  EXPECT_THROW(stream.Band(990, 32), std::logic_error);
}

}  // namespace
}  // namespace qv
