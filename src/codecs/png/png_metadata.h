// A photo's metadata carried into a PNG: the ICC profile as an iCCP chunk, the EXIF block as an
// eXIf chunk, the XMP packet as an iTXt chunk.
#pragma once

namespace qv {

class TPNGObject;
struct TJpegMetadata;

// Inserts, right after the header chunk (before any palette and the image data), an iCCP chunk
// holding the profile (named "ICC profile", deflated) when there is one, an eXIf chunk holding
// the EXIF block when there is one, and an iTXt chunk with the keyword "XML:com.adobe.xmp"
// holding the XMP packet uncompressed (as XMP readers expect it) when there is one. A PNG
// with an iCCP or eXIf chunk already keeps its own. Extended XMP and IPTC have no place in a PNG.
void AddPngMetadata(TPNGObject& png, const TJpegMetadata& metadata);

}  // namespace qv
