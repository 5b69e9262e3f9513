// The shipped plug-ins as the host loads them from the build's folder, and the checks their tests
// share: decoded pixels, closeness to a reference, and damaged copies of a file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codecs/plugin_host/spi_lib32.h"
#include "codecs/plugin_host/spi_pic_plug.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

namespace qv::testing {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, top row first

// The host with every shipped plug-in of the build.
inline TSpiLib32 &Shipped() {
  static TSpiLib32 host;
  static bool loaded = (host.LoadPlugins(QV_SPI_PLUGIN_DIR), true);
  (void)loaded;
  return host;
}

inline const TPicPlug *PluginNamed(const std::string &prefix) {
  for (const auto &plug : Shipped().PicPlugs())
    if (plug->name.rfind(prefix, 0) == 0) return plug.get();
  return nullptr;
}

// Decodes through the host into a 24-bit image and returns its pixels (empty when declined).
inline Pixels Decode(const Bytes &file, int *width = nullptr, int *height = nullptr) {
  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf24bit);
  Shipped().LoadFromStream(TMemoryStream(file), image);
  if (width) *width = image.Width();
  if (height) *height = image.Height();
  Pixels pixels;
  if (image.Empty()) return pixels;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint8_t *p = image.ScanLine(y) + 3 * x;
      pixels.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
    }
  return pixels;
}

inline void ExpectNear(const Pixels &actual, const Pixels &expected, int tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i)
    for (int shift : {0, 8, 16}) {
      int a = static_cast<int>(actual[i] >> shift & 0xFF);
      int e = static_cast<int>(expected[i] >> shift & 0xFF);
      EXPECT_LE(std::abs(a - e), tolerance) << "pixel " << i << " channel shift " << shift;
    }
}

// Every damaged copy (truncations and seeded random byte changes) is decoded, declined or
// refused (with the silent abort, or with the plug-in's reason), never anything else.
inline void ExpectDamageIsHandled(const Bytes &file) {
  std::vector<Bytes> damaged;
  std::size_t step = file.size() / 64 + 1;
  for (std::size_t length = 0; length < file.size(); length += step)
    damaged.emplace_back(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
  damaged.emplace_back(file.begin(), file.end() - 1);
  std::mt19937 random(1234);
  // QV_SPI_DAMAGE_ROUNDS raises the number of changed copies for a longer soak run.
  const char *rounds_text = std::getenv("QV_SPI_DAMAGE_ROUNDS");
  int rounds = rounds_text != nullptr ? std::atoi(rounds_text) : 150;
  for (int i = 0; i < rounds; ++i) {
    Bytes copy = file;
    int changes = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < changes; ++k)
      copy[random() % copy.size()] = static_cast<std::uint8_t>(random());
    damaged.push_back(std::move(copy));
  }
  int aborted = 0;
  for (const Bytes &bytes : damaged) {
    try {
      Decode(bytes);
    } catch (const EAbort &) {
      ++aborted;
    } catch (const EInvalidGraphic &e) {
      EXPECT_NE(std::string(e.what()).find(": "), std::string::npos) << "no reason: " << e.what();
      ++aborted;
    } catch (const std::exception &e) {
      ADD_FAILURE() << "unexpected failure for " << bytes.size() << " bytes: " << e.what();
    }
  }
  // Half a file cannot be decoded: the plug-in must have said so at least there.
  EXPECT_GT(aborted, 0);
}

}  // namespace qv::testing
