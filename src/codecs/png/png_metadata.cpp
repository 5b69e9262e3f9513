// iCCP, eXIf and iTXt chunks built from a photo's metadata.
#include "codecs/png/png_metadata.h"

#include <zlib.h>

#include <cstring>
#include <memory>

#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/png/png_chunks.h"
#include "codecs/png/png_object.h"
#include "runtime/exceptions.h"

namespace qv {

namespace {

bool HasChunk(const TPNGObject& png, const char type[4]) {
  for (std::size_t i = 0; i < png.Chunks().Count(); ++i)
    if (std::memcmp(png.Chunks().Item(i).Type(), type, 4) == 0) return true;
  return false;
}

// The profile name, its terminating zero, compression method 0 and the deflated profile.
std::vector<std::uint8_t> IccpData(const std::vector<std::uint8_t>& profile) {
  static constexpr char kName[] = "ICC profile";
  std::vector<std::uint8_t> data(kName, kName + sizeof kName);  // with the zero
  data.push_back(0);
  uLongf size = compressBound(static_cast<uLong>(profile.size()));
  const std::size_t head = data.size();
  data.resize(head + size);
  if (compress2(data.data() + head, &size, profile.data(), static_cast<uLong>(profile.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    throw EOutOfMemory();
  data.resize(head + size);
  return data;
}

}  // namespace

void AddPngMetadata(TPNGObject& png, const TJpegMetadata& metadata) {
  std::size_t at = 1;  // after IHDR
  if (!metadata.icc_profile.empty() && !HasChunk(png, "iCCP")) {
    auto chunk = std::make_unique<TChunk>(png, "iCCP");
    chunk->Data() = IccpData(metadata.icc_profile);
    png.Chunks().Insert(at++, std::move(chunk));
  }
  if (!metadata.exif.empty() && !HasChunk(png, "eXIf")) {
    auto chunk = std::make_unique<TChunk>(png, "eXIf");
    chunk->Data() = metadata.exif;
    png.Chunks().Insert(at++, std::move(chunk));
  }
  if (!metadata.xmp.empty()) {
    // Keyword, its zero, compression flag and method 0, an empty language tag and translated
    // keyword (each with its zero), then the text.
    static constexpr char kKeyword[] = "XML:com.adobe.xmp";
    auto chunk = std::make_unique<TChunk>(png, "iTXt");
    std::vector<std::uint8_t>& data = chunk->Data();
    data.assign(kKeyword, kKeyword + sizeof kKeyword);
    data.insert(data.end(), {0, 0, 0, 0});
    data.insert(data.end(), metadata.xmp.begin(), metadata.xmp.end());
    png.Chunks().Insert(at, std::move(chunk));
  }
}

}  // namespace qv
