// The PNG image-data reader: inflates IDAT chunks, undoes the filters and fills the header's
// internal image; and the copy of a decoded image into a Raster image.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/png/png_object.h"

namespace qv {

class TBitmap;
class TChunkIHDR;
class TStream;

// Decodes the image data whose first IDAT chunk (type already read, data of first_length bytes)
// starts at the stream position, going on through IDAT chunks that follow directly, and checks
// every CRC. Only the rows the header asks for are inflated. 16-bit colour rows go through
// deep_rows when it is given. Throws EPngInvalidCRC, EPNGMissingMultipleIDAT, EPngUnexpectedEnd
// or EPNGZLIBError; rows that the data does not reach stay zero.
//
// With a sink, and an internal image that holds one row (a file that is not interlaced), each
// row goes on to the sink as 24-bit pixels as soon as it is made, rows the data does not reach
// as an all-zero row shows, in bands of a few rows; nothing of the picture is kept. When reading
// fails, the rows before the failure may have gone on.
void DecodeImageData(TChunkIHDR& header, const std::array<std::uint8_t, 256>& gamma,
                     TStream& stream, std::uint32_t first_length,
                     const TPngDeepRowConverter& deep_rows = {}, const TPngRowSink& sink = {});

// Gives image the header's internal image at 1, 4, 8 or 24 bits, colour table as palette.
void CopyInternalImage(const TChunkIHDR& header, TBitmap& image);

}  // namespace qv
