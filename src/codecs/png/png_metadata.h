// A photo's metadata carried into a PNG: the ICC profile as an iCCP chunk, the EXIF block as an
// eXIf chunk.
#pragma once

namespace qv {

class TPNGObject;
struct TJpegMetadata;

// Inserts, right after the header chunk (before any palette and the image data), an iCCP chunk
// holding the profile (named "ICC profile", deflated) when there is one, and an eXIf chunk
// holding the EXIF block when there is one. A PNG with a chunk of either kind already keeps
// its own.
void AddPngMetadata(TPNGObject& png, const TJpegMetadata& metadata);

}  // namespace qv
