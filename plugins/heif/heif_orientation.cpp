// Reading the primary item's rotation and mirror properties from a HEIF file's boxes (the ISO
// base media file format, ISO/IEC 14496-12, with the item properties of HEIF, ISO/IEC 23008-12).
// libheif applies these properties when it decodes but does not say whether a file has them.
#include "heif_orientation.h"

#include "spi_orientation.h"

namespace heif_plugin {

namespace {

std::uint32_t Type(const char (&name)[5]) {
  return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
         std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Bytes read front to back; a read past the end fails and keeps failing.
class TReader {
 public:
  TReader() = default;
  TReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return at_ >= size_; }
  std::uint64_t Read(int bytes) {
    if (!ok_ || size_ - at_ < static_cast<std::size_t>(bytes)) {
      ok_ = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data_[at_++];
    return value;
  }
  // The next box: its type and a reader over its body (after the header).
  bool NextBox(std::uint32_t &type, TReader &body) {
    if (AtEnd()) return false;
    const std::size_t start = at_;
    std::uint64_t size = Read(4);
    type = static_cast<std::uint32_t>(Read(4));
    if (size == 1) size = Read(8);
    if (!ok_) return false;
    const std::size_t header = at_ - start;
    if (size == 0) size = size_ - start;  // to the end of the enclosing box
    if (size < header || size > size_ - start) {
      ok_ = false;
      return false;
    }
    body = TReader(data_ + at_, static_cast<std::size_t>(size) - header);
    at_ = start + static_cast<std::size_t>(size);
    return true;
  }

 private:
  const std::uint8_t *data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// The primary item's id, from 'pitm' (0 when the box is bad).
std::uint32_t PrimaryItem(TReader body) {
  std::uint64_t version = body.Read(1);
  body.Read(3);
  std::uint64_t id = body.Read(version == 0 ? 2 : 4);
  return body.Ok() ? static_cast<std::uint32_t>(id) : 0;
}

}  // namespace

int PrimaryItemOrientation(const std::uint8_t *data, std::size_t size) {
  TReader file(data, size);
  std::uint32_t type = 0;
  TReader meta;
  bool found = false;
  while (!found && file.NextBox(type, meta)) found = type == Type("meta");
  if (!found) return 0;
  meta.Read(4);  // version and flags
  std::uint32_t primary = 0;
  TReader box, properties, associations;
  bool have_properties = false, have_associations = false;
  while (meta.NextBox(type, box)) {
    if (type == Type("pitm")) primary = PrimaryItem(box);
    if (type != Type("iprp")) continue;
    TReader child;
    while (box.NextBox(type, child)) {
      if (type == Type("ipco") && !have_properties) properties = child, have_properties = true;
      if (type == Type("ipma") && !have_associations)
        associations = child, have_associations = true;
    }
  }
  if (primary == 0 || !have_properties || !have_associations) return 0;

  // The primary item's property indexes (1-based into 'ipco'), in association order.
  const std::uint64_t version = associations.Read(1);
  const std::uint64_t flags = associations.Read(3);
  std::uint64_t entries = associations.Read(4);
  std::uint32_t indexes[255];
  int count = 0;
  for (std::uint64_t e = 0; e < entries && associations.Ok(); ++e) {
    std::uint64_t item = associations.Read(version < 1 ? 2 : 4);
    std::uint64_t n = associations.Read(1);
    for (std::uint64_t a = 0; a < n && associations.Ok(); ++a) {
      std::uint64_t index =
          (flags & 1) ? associations.Read(2) & 0x7FFF : associations.Read(1) & 0x7F;
      if (item == primary && count < 255) indexes[count++] = static_cast<std::uint32_t>(index);
    }
    if (item == primary) break;
  }
  if (!associations.Ok()) return 0;

  spi_plugin::TTurn turn = spi_plugin::kAsStored;
  bool turned = false;
  for (int i = 0; i < count; ++i) {
    TReader list = properties, property;
    std::uint32_t at = 0;
    bool present = false;
    while (list.NextBox(type, property))
      if (++at == indexes[i]) {
        present = true;
        break;
      }
    if (!present) continue;
    if (type == Type("irot")) {
      turn =
          spi_plugin::Then(turn, spi_plugin::Anticlockwise(static_cast<int>(property.Read(1) & 3)));
      turned = true;
    } else if (type == Type("imir")) {
      // 0: top and bottom exchanged; 1: left and right exchanged.
      turn = spi_plugin::Then(turn, spi_plugin::Mirrored((property.Read(1) & 1) != 0));
      turned = true;
    }
  }
  return turned ? spi_plugin::ExifOrientationOf(turn) : 0;
}

}  // namespace heif_plugin
