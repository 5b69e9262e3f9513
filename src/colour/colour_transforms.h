// The colour profiles and transforms of one drop: each distinct profile is read once and each of
// its transforms built once, then shared by every job of the drop, on any thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "colour/colour_transform.h"
#include "colour/icc_profile.h"

namespace qv {

class TColourTransforms {
 public:
  TColourTransforms();
  ~TColourTransforms();
  TColourTransforms(const TColourTransforms&) = delete;
  TColourTransforms& operator=(const TColourTransforms&) = delete;

  // The profile of bytes, read on first use (the same object for the same bytes). Throws
  // EColourProfile as TIccProfile does, each time it is asked for a profile that failed.
  std::shared_ptr<const TIccProfile> Profile(const std::vector<std::uint8_t>& bytes);
  // The transform to sRGB of pixels in layout tagged with the profile of bytes, built on first
  // use. Throws EColourProfile as TIccProfile and TColourTransform do, each time it is asked for
  // one that failed.
  std::shared_ptr<const TColourTransform> ToSrgb(const std::vector<std::uint8_t>& bytes,
                                                 TPixelLayout layout);
  // Forgets every profile and transform (a new drop begins).
  void Clear();
  // Transforms built since the last Clear.
  int TransformsBuilt() const;

 private:
  struct TEntry;
  // The entry of bytes, made when there is none, with its profile read (or its error kept).
  std::shared_ptr<TEntry> EntryOf(const std::vector<std::uint8_t>& bytes);

  mutable std::mutex mutex_;
  std::map<std::vector<std::uint8_t>, std::shared_ptr<TEntry>> entries_;
  int built_ = 0;
};

}  // namespace qv
