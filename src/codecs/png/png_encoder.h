// The PNG writer's two halves: building the chunk set from a Raster image, and deflating the
// header's internal image into IDAT chunks.
#pragma once

namespace qv {

class TBitmap;
class TChunkIHDR;
class TPNGObject;
class TStream;
struct TRGBQuad;

// Replaces object's chunks with IHDR, PLTE (below 16 bits), tRNS (when transparent_color is given
// and, for a palette image, found in the palette), IDAT and IEND made from image. 1-, 4- and 8-bit
// images keep their indices and palette (colour type 3); every other format is converted to
// 24-bit colour (type 2), alpha dropped. An empty image leaves the object empty.
void BuildChunksFromBitmap(TPNGObject& object, const TBitmap& image,
                           const TRGBQuad* transparent_color);

// Writes the header's internal image as one or more IDAT chunks: rows converted into PNG byte
// order, filtered with the filter the object's filter set chooses, Adam7 when the object's
// interlace method is 1, deflated at its compression level, one chunk per full output buffer of
// its maximum IDAT size. Throws EWriteError when the stream refuses bytes.
void EncodeImageData(const TPNGObject& object, const TChunkIHDR& header, TStream& stream);

}  // namespace qv
