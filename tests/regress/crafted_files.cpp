// Small hand-made BMP and PNG files with chosen header fields, for the bad-input tests.
#include "regress/crafted_files.h"

#include <zlib.h>

#include <stdexcept>

namespace qv::testing {

namespace {

void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

void PutBe32(std::string& out, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

}  // namespace

std::string MakeBmp(const BmpFields& f, std::string_view body) {
  std::string out = "BM";
  PutLe(out, 54 + body.size(), 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(f.width), 4);
  PutLe(out, static_cast<std::uint32_t>(f.height), 4);
  PutLe(out, f.planes, 2);
  PutLe(out, f.bits, 2);
  PutLe(out, f.compression, 4);
  PutLe(out, f.size_image, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, f.colors_used, 4);
  PutLe(out, 0, 4);
  out.append(body);
  return out;
}

std::string PngChunk(std::string_view type, std::string_view data, bool wrong_crc) {
  std::string out;
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  std::string body(type);
  body.append(data);
  out.append(body);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  PutBe32(out, static_cast<std::uint32_t>(crc) ^ (wrong_crc ? 1u : 0u));
  return out;
}

std::string IhdrData(std::uint32_t width, std::uint32_t height, int depth, int colour_type) {
  std::string out;
  PutBe32(out, width);
  PutBe32(out, height);
  out.push_back(static_cast<char>(depth));
  out.push_back(static_cast<char>(colour_type));
  out.append(3, '\0');
  return out;
}

std::string MakePng(const std::vector<std::string>& chunks) {
  std::string out = "\x89PNG\r\n\x1a\n";
  for (const std::string& chunk : chunks) out.append(chunk);
  return out;
}

std::string Deflate(std::string_view raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                9) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::string DeflateZeros(std::uint64_t total) {
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  const std::string zeros(kBlock, '\0');
  z_stream z{};
  if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
  std::string buffer(kBlock, '\0');
  // A full flush resets the dictionary, so every block after the first codes to the same bytes.
  auto block = [&](int flush, std::size_t size) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    deflate(&z, flush);
    return buffer.substr(0, buffer.size() - z.avail_out);
  };
  std::string first = block(Z_FULL_FLUSH, kBlock);  // zlib header + block
  std::string repeated = block(Z_FULL_FLUSH, kBlock);
  std::string again = block(Z_FULL_FLUSH, kBlock);
  std::string tail = block(Z_FINISH, 0);  // final empty block + Adler-32 of 3 MiB
  deflateEnd(&z);
  if (repeated != again || tail.size() < 4) throw std::runtime_error("blocks differ");

  std::uint64_t blocks = total / kBlock;
  std::string out = first;
  out.reserve(first.size() + repeated.size() * blocks + tail.size());
  for (std::uint64_t i = 1; i < blocks; ++i) out.append(repeated);
  tail.resize(tail.size() - 4);
  out.append(tail);
  uLong one = adler32(1, reinterpret_cast<const Bytef*>(zeros.data()), kBlock);
  uLong adler = 1;
  for (std::uint64_t i = 0; i < blocks; ++i) adler = adler32_combine(adler, one, kBlock);
  PutBe32(out, static_cast<std::uint32_t>(adler));
  return out;
}

}  // namespace qv::testing
