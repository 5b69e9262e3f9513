// Crc32 and Adler32, and each of their accelerated forms this processor runs, against zlib's
// crc32_z and adler32_z (their portable forms): every short length at every alignment, long
// buffers (all bytes 255 among them, the largest sums), and runs continued over pieces cut
// anywhere.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "simd/adler32.h"
#include "simd/crc32.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Checksum {
  std::string name;
  std::uint32_t start;
  std::uint32_t (*ours)(std::uint32_t, const void*, std::size_t);
  std::uint32_t (*zlib)(std::uint32_t, const std::uint8_t*, std::size_t);
};

std::uint32_t ZlibCrc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  return static_cast<std::uint32_t>(crc32_z(crc, p, n));
}
std::uint32_t ZlibAdler32(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
  return static_cast<std::uint32_t>(adler32_z(adler, p, n));
}

// The function as the program calls it, then every accelerated form the processor runs.
template <class F>
void AddForms(std::vector<Checksum>& checksums, const std::string& name, std::uint32_t start,
              F chosen, std::span<const TVariant<F>> variants,
              std::uint32_t (*zlib)(std::uint32_t, const std::uint8_t*, std::size_t)) {
  checksums.push_back({name, start, chosen, zlib});
  for (const TVariant<F>& variant : variants)
    if (!variant.needs.Empty() && ProcessorFeatures().Covers(variant.needs))
      checksums.push_back({name + "_" + variant.name, start, variant.function, zlib});
}

std::vector<Checksum> AllChecksums() {
  std::vector<Checksum> checksums;
  AddForms(checksums, "Crc32", 0, Crc32, Crc32Variants(), ZlibCrc32);
  AddForms(checksums, "Adler32", 1, Adler32, Adler32Variants(), ZlibAdler32);
  return checksums;
}

void PrintTo(const Checksum& c, std::ostream* out) { *out << c.name; }

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

class Checksums : public ::testing::TestWithParam<Checksum> {};

// From the start value and from a running value, at each of 16 offsets from a 16-byte boundary.
TEST_P(Checksums, EveryShortLengthAndAlignment) {
  const Checksum& c = GetParam();
  const Bytes bytes = RandomBytes(16 + 300 + 16, 1);
  const std::uint8_t* aligned =
      bytes.data() + (16 - reinterpret_cast<std::uintptr_t>(bytes.data()) % 16);
  const std::uint32_t running = c.zlib(c.start, bytes.data(), 77);
  for (std::uint32_t start : {c.start, running})
    for (std::size_t offset = 0; offset < 16; ++offset)
      for (std::size_t size = 0; size <= 300; ++size)
        ASSERT_EQ(c.ours(start, aligned + offset, size), c.zlib(start, aligned + offset, size))
            << "start " << start << " offset " << offset << " size " << size;
}

TEST_P(Checksums, LongBuffers) {
  const Checksum& c = GetParam();
  Bytes random = RandomBytes((std::size_t{3} << 20) + 64, 2);
  Bytes full(random.size(), 255);
  for (const Bytes* bytes : {&random, &full})
    for (std::size_t size :
         {std::size_t{4096 + 13}, std::size_t{131072 * 2 + 31}, (std::size_t{3} << 20) + 7})
      for (std::size_t offset = 0; offset < 16; ++offset) {
        const std::uint8_t* p = bytes->data() + offset;
        ASSERT_EQ(c.ours(c.start, p, size), c.zlib(c.start, p, size))
            << (bytes == &full ? "255s" : "random") << " size " << size << " offset " << offset;
      }
}

TEST_P(Checksums, ContinuedOverPieces) {
  const Checksum& c = GetParam();
  const Bytes bytes = RandomBytes(100000, 3);
  const std::uint32_t whole = c.zlib(c.start, bytes.data(), bytes.size());
  std::mt19937 random(4);
  for (int run = 0; run < 300; ++run) {
    std::uint32_t value = c.start;
    std::size_t at = 0;
    while (at < bytes.size()) {
      // Mostly short pieces, now and then a long one.
      std::size_t limit = random() % 4 == 0 ? 20000 : 200;
      std::size_t size = std::min<std::size_t>(random() % (limit + 1), bytes.size() - at);
      value = c.ours(value, bytes.data() + at, size);
      at += size;
    }
    ASSERT_EQ(value, whole) << "run " << run;
  }
}

INSTANTIATE_TEST_SUITE_P(Zlib, Checksums, ::testing::ValuesIn(AllChecksums()),
                         [](const auto& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace qv
