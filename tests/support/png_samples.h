// PNG files as plain samples through libpng, for tests that feed other tools PNG pictures and
// read their PNG outputs back exactly (16-bit samples kept, no gamma or colour handling).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::testing {

struct TPngSamples {
  int width = 0;
  int height = 0;
  int channels = 0;                    // 1 grey, 2 grey and alpha, 3 red, green, blue, 4 with alpha
  int bits = 8;                        // 8 or 16
  std::vector<std::uint16_t> samples;  // rows top first, each pixel's channels together

  std::uint32_t Max() const { return (1u << bits) - 1; }
  std::uint16_t At(int x, int y, int channel) const {
    return samples[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)) *
                       static_cast<std::size_t>(channels) +
                   static_cast<std::size_t>(channel)];
  }
};

// The file's samples: palette pictures expanded to red, green and blue, fewer than 8 bits widened
// to 8. Throws std::runtime_error naming the file when libpng cannot read it.
TPngSamples ReadPngSamples(const std::string& path);

// Writes the samples as a PNG file (no ancillary chunks). Throws std::runtime_error on failure.
void WritePngSamples(const std::string& path, const TPngSamples& picture);

}  // namespace qv::testing
