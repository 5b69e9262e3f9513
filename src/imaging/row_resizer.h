// A resize made destination row by destination row from the few source rows each one reads, so
// that a decoder's rows can go through it as they come (imaging/source_row_ring.h).
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

// The source rows one destination row reads, first to last inclusive.
struct TRowSpan {
  int first;
  int last;
};

// The source rows as a resizer reads them: rows[j] is source row j (only the rows the
// destination rows being made read are valid). A four-byte load at a pixel before safe_end stays
// inside the buffer; a pixel at or past it is read byte by byte.
struct TSourceRows {
  const std::vector<const std::uint8_t*>* rows;
  const std::uint8_t* safe_end;
};

class IRowResizer {
 public:
  virtual ~IRowResizer() = default;
  virtual int SourceWidth() const = 0;
  virtual int SourceHeight() const = 0;
  virtual int DestHeight() const = 0;
  // Bytes of a source pixel as the resizer reads it: 3 (blue, green, red) or 4 (and a fourth
  // byte of 0).
  virtual int SourcePixelBytes() const = 0;
  // The source rows destination row y reads; they may lie outside the source (the resizer then
  // fails on the whole picture too, and a stream refuses it).
  virtual TRowSpan RowsRead(int y) const = 0;
  // Makes destination row y into out (the destination's row, its width in pixels of the
  // resizer's destination format). Rows of different y may be made at once on several threads.
  virtual void MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const = 0;
};

}  // namespace qv
