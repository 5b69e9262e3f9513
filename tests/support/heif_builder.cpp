// Reading the coded primary picture of a HEIF file and writing HEIF files of given layouts, box
// by box as ISO/IEC 14496-12 (the boxes) and ISO/IEC 23008-12 (items and their properties) have
// them.
#include "support/heif_builder.h"

#include <map>
#include <stdexcept>

namespace qv::testing {

namespace {

[[noreturn]] void Unreadable(const std::string& what) {
  throw std::runtime_error("not a HEIF file of one coded picture: " + what);
}

// Bytes read front to back, big-endian.
class TReader {
 public:
  TReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return at_ >= size_; }
  std::uint64_t Read(int bytes) {
    if (size_ - at_ < static_cast<std::size_t>(bytes)) Unreadable("a box ends early");
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data_[at_++];
    return value;
  }
  std::string Type() { return std::string(reinterpret_cast<const char*>(Take(4)), 4); }
  const std::uint8_t* Take(std::size_t bytes) {
    if (size_ - at_ < bytes) Unreadable("a box ends early");
    at_ += bytes;
    return data_ + at_ - bytes;
  }
  // The next box: its type, its whole bytes, and a reader over its body.
  std::string NextBox(TBytes& whole, TReader& body) {
    const std::size_t start = at_;
    std::uint64_t size = Read(4);
    std::string type = Type();
    if (size == 1) size = Read(8);
    if (size == 0) size = size_ - start;
    if (size < at_ - start || size > size_ - start) Unreadable("a box passes its parent's end");
    body = TReader(data_ + at_, static_cast<std::size_t>(size) - (at_ - start));
    whole.assign(data_ + start, data_ + start + size);
    at_ = start + static_cast<std::size_t>(size);
    return type;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// value as bytes big-endian bytes (beyond 8, the leading ones zero).
void Put(TBytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(i >= 8 ? 0 : static_cast<std::uint8_t>(value >> (8 * i)));
}
void Put(TBytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void Put(TBytes& out, const TBytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

TBytes Box(const std::string& type, const TBytes& body) {
  TBytes box;
  Put(box, body.size() + 8, 4);
  Put(box, type);
  Put(box, body);
  return box;
}

TBytes FullBox(const std::string& type, int version, std::uint32_t flags, const TBytes& body) {
  TBytes full;
  Put(full, static_cast<std::uint64_t>(version), 1);
  Put(full, flags, 3);
  Put(full, body);
  return Box(type, full);
}

TBytes SizeBox(std::uint32_t width, std::uint32_t height) {
  TBytes body;
  Put(body, width, 4);
  Put(body, height, 4);
  return FullBox("ispe", 0, 0, body);
}

}  // namespace

THeifCoded ReadCodedPrimary(const TBytes& file) {
  TReader top(file.data(), file.size());
  TBytes whole;
  TReader meta(nullptr, 0);
  bool found = false;
  while (!found && !top.AtEnd()) found = top.NextBox(whole, meta) == "meta";
  if (!found) Unreadable("no 'meta' box");
  meta.Read(4);

  std::uint64_t primary = 0;
  std::map<std::uint64_t, std::string> types;
  std::map<std::uint64_t, TBytes> data;
  std::vector<TBytes> properties;
  std::map<std::uint64_t, std::vector<std::uint64_t>> associations;
  TReader box(nullptr, 0);
  while (!meta.AtEnd()) {
    const std::string type = meta.NextBox(whole, box);
    if (type == "pitm") {
      const std::uint64_t version = box.Read(1);
      box.Read(3);
      primary = box.Read(version == 0 ? 2 : 4);
    } else if (type == "iinf") {
      const std::uint64_t version = box.Read(1);
      box.Read(3);
      box.Read(version == 0 ? 2 : 4);
      TReader entry(nullptr, 0);
      while (!box.AtEnd()) {
        if (box.NextBox(whole, entry) != "infe") continue;
        const std::uint64_t entry_version = entry.Read(1);
        entry.Read(3);
        if (entry_version < 2)
          Unreadable("an item entry of version " + std::to_string(entry_version));
        const std::uint64_t id = entry.Read(entry_version == 2 ? 2 : 4);
        entry.Read(2);
        types[id] = entry.Type();
      }
    } else if (type == "iloc") {
      const std::uint64_t version = box.Read(1);
      box.Read(3);
      const std::uint64_t sizes = box.Read(2);
      const int offset_size = static_cast<int>(sizes >> 12 & 15),
                length_size = static_cast<int>(sizes >> 8 & 15);
      const int base_size = static_cast<int>(sizes >> 4 & 15),
                index_size = static_cast<int>(sizes & 15);
      const std::uint64_t items = box.Read(version < 2 ? 2 : 4);
      for (std::uint64_t i = 0; i < items; ++i) {
        const std::uint64_t id = box.Read(version < 2 ? 2 : 4);
        const std::uint64_t method = version == 1 || version == 2 ? box.Read(2) & 15 : 0;
        box.Read(2);
        const std::uint64_t base = box.Read(base_size);
        const std::uint64_t extents = box.Read(2);
        TBytes& bytes = data[id];
        for (std::uint64_t e = 0; e < extents; ++e) {
          if ((version == 1 || version == 2) && index_size > 0) box.Read(index_size);
          const std::uint64_t offset = base + box.Read(offset_size);
          const std::uint64_t length = box.Read(length_size);
          if (method != 0) Unreadable("an item stored other than in the file's data");
          if (offset > file.size() || length > file.size() - offset)
            Unreadable("an item passes the file's end");
          bytes.insert(bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset),
                       file.begin() + static_cast<std::ptrdiff_t>(offset + length));
        }
      }
    } else if (type == "iprp") {
      TReader child(nullptr, 0);
      while (!box.AtEnd()) {
        const std::string child_type = box.NextBox(whole, child);
        if (child_type == "ipco") {
          TReader property(nullptr, 0);
          while (!child.AtEnd()) {
            child.NextBox(whole, property);
            properties.push_back(whole);
          }
        } else if (child_type == "ipma") {
          const std::uint64_t version = child.Read(1);
          const std::uint64_t flags = child.Read(3);
          const std::uint64_t entries = child.Read(4);
          for (std::uint64_t e = 0; e < entries; ++e) {
            const std::uint64_t id = child.Read(version < 1 ? 2 : 4);
            const std::uint64_t count = child.Read(1);
            for (std::uint64_t a = 0; a < count; ++a)
              associations[id].push_back((flags & 1) ? child.Read(2) & 0x7FFF
                                                     : child.Read(1) & 0x7F);
          }
        }
      }
    }
  }
  if (primary == 0 || types.count(primary) == 0) Unreadable("no primary item");
  THeifCoded coded;
  coded.item_type = types[primary];
  if (coded.item_type != "hvc1" && coded.item_type != "av01")
    Unreadable("the primary item is of type " + coded.item_type);
  coded.data = data[primary];
  for (std::uint64_t index : associations[primary]) {
    if (index == 0 || index > properties.size()) Unreadable("an association past the properties");
    const TBytes& property = properties[index - 1];
    const std::string type(property.begin() + 4, property.begin() + 8);
    if (type == "ispe") {
      TReader size(property.data() + 12, property.size() - 12);
      coded.width = static_cast<std::uint32_t>(size.Read(4));
      coded.height = static_cast<std::uint32_t>(size.Read(4));
    } else {
      coded.properties.push_back(property);
    }
  }
  if (coded.width == 0 || coded.data.empty()) Unreadable("the primary item has no size or data");
  return coded;
}

TBytes BuildHeif(const THeifLayout& layout) {
  const std::size_t tiles = layout.tiles.size();
  if (tiles == 0 || layout.columns < 1 || tiles % static_cast<std::size_t>(layout.columns) != 0)
    throw std::runtime_error("a grid needs whole rows of tiles");
  const bool grid = tiles > 1;
  const std::uint64_t rows = tiles / static_cast<std::size_t>(layout.columns);
  const std::uint64_t primary = grid ? tiles + 1 : 1;
  const std::uint64_t exif = layout.exif.empty() ? 0 : primary + 1;
  std::uint32_t width = layout.width, height = layout.height;
  if (width == 0) width = layout.tiles[0].width * static_cast<std::uint32_t>(layout.columns);
  if (height == 0) height = layout.tiles[0].height * static_cast<std::uint32_t>(rows);

  // Item data in file order: the tiles, the grid's description, the EXIF block.
  std::vector<std::pair<std::uint64_t, TBytes>> items;
  for (std::size_t t = 0; t < tiles; ++t) items.emplace_back(t + 1, layout.tiles[t].data);
  if (grid) {
    TBytes description;
    Put(description, 0, 2);  // version 0, 16-bit sizes
    Put(description, rows - 1, 1);
    Put(description, static_cast<std::uint64_t>(layout.columns - 1), 1);
    Put(description, width, 2);
    Put(description, height, 2);
    items.emplace_back(primary, description);
  }
  if (exif != 0) {
    TBytes block;
    Put(block, 0, 4);  // the TIFF data starts right after this offset field
    Put(block, layout.exif);
    items.emplace_back(exif, block);
  }

  TBytes infos;
  Put(infos, items.size(), 2);
  for (const auto& [id, bytes] : items) {
    TBytes entry;
    Put(entry, id, 2);
    Put(entry, 0, 2);
    Put(entry, id == exif ? "Exif" : id == primary && grid ? "grid" : layout.tiles[0].item_type);
    Put(entry, 0, 1);                                                    // no name
    Put(infos, FullBox("infe", 2, grid && id <= tiles ? 1 : 0, entry));  // tiles are hidden
  }

  TBytes references;
  if (grid) {
    TBytes dimg;
    Put(dimg, primary, 2);
    Put(dimg, tiles, 2);
    for (std::size_t t = 0; t < tiles; ++t) Put(dimg, t + 1, 2);
    Put(references, Box("dimg", dimg));
  }
  if (exif != 0) {
    TBytes cdsc;
    Put(cdsc, exif, 2);
    Put(cdsc, 1, 2);
    Put(cdsc, primary, 2);
    Put(references, Box("cdsc", cdsc));
  }

  // Properties: each tile's own, then its size; the grid's size; the transforms.
  TBytes properties, map;
  std::uint64_t index = 0, entries = 0;
  auto add_property = [&](const TBytes& box, bool essential, TBytes& associated) {
    Put(properties, box);
    Put(associated, ++index | (essential ? 0x80 : 0), 1);
  };
  auto add_entry = [&](std::uint64_t id, const TBytes& associated) {
    Put(map, id, 2);
    Put(map, associated.size(), 1);
    Put(map, associated);
    ++entries;
  };
  for (std::size_t t = 0; t < tiles; ++t) {
    TBytes associated;
    for (const TBytes& property : layout.tiles[t].properties)
      add_property(property, true, associated);
    const bool sized_by_claim = !grid && layout.claimed_width != 0;
    add_property(SizeBox(sized_by_claim ? layout.claimed_width : layout.tiles[t].width,
                         sized_by_claim ? layout.claimed_height : layout.tiles[t].height),
                 false, associated);
    if (!grid)
      for (const TBytes& transform : layout.transforms) add_property(transform, true, associated);
    add_entry(t + 1, associated);
  }
  if (grid) {
    TBytes associated;
    add_property(SizeBox(layout.claimed_width != 0 ? layout.claimed_width : width,
                         layout.claimed_width != 0 ? layout.claimed_height : height),
                 false, associated);
    for (const TBytes& transform : layout.transforms) add_property(transform, true, associated);
    add_entry(primary, associated);
  }
  TBytes association_map;
  Put(association_map, entries, 4);
  Put(association_map, map);
  TBytes item_properties = Box("ipco", properties);
  Put(item_properties, FullBox("ipma", 0, 0, association_map));

  TBytes handler;
  Put(handler, 0, 4);
  Put(handler, "pict");
  Put(handler, 0, 12);
  Put(handler, 0, 1);
  TBytes primary_item;
  Put(primary_item, primary, 2);

  // Locations: absolute offsets into the data box, which follows 'meta' (whose size does not
  // depend on the offsets' values).
  auto locations = [&](std::uint64_t data_start) {
    TBytes body;
    Put(body, 0x44, 1);  // 4-byte offsets and lengths
    Put(body, 0x00, 1);  // no base offset
    Put(body, items.size(), 2);
    std::uint64_t at = data_start;
    for (const auto& [id, bytes] : items) {
      Put(body, id, 2);
      Put(body, 0, 2);
      Put(body, 1, 2);
      Put(body, at, 4);
      Put(body, bytes.size(), 4);
      at += bytes.size();
    }
    return FullBox("iloc", 0, 0, body);
  };
  auto meta = [&](std::uint64_t data_start) {
    TBytes body;
    Put(body, FullBox("hdlr", 0, 0, handler));
    Put(body, FullBox("pitm", 0, 0, primary_item));
    Put(body, FullBox("iinf", 0, 0, infos));
    Put(body, locations(data_start));
    if (!references.empty()) Put(body, FullBox("iref", 0, 0, references));
    Put(body, Box("iprp", item_properties));
    return FullBox("meta", 0, 0, body);
  };

  TBytes type_body;
  Put(type_body, layout.brands.at(0));
  Put(type_body, 0, 4);
  for (std::size_t b = 1; b < layout.brands.size(); ++b) Put(type_body, layout.brands[b]);
  TBytes file = Box("ftyp", type_body);
  const std::uint64_t data_start = file.size() + meta(0).size() + 8;
  Put(file, meta(data_start));
  TBytes all_data;
  for (const auto& item : items) Put(all_data, item.second);
  Put(file, Box("mdat", all_data));
  return file;
}

TBytes RotationBox(int quarter_turns) {
  return Box("irot", {static_cast<std::uint8_t>(quarter_turns & 3)});
}

TBytes MirrorBox(int mode) { return Box("imir", {static_cast<std::uint8_t>(mode & 1)}); }

}  // namespace qv::testing
