// The size a picture file's header declares, read before the file is converted.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "app/job_options.h"

namespace qv {

// Width and height as the header of a BMP, PNG or JPEG file (reader kBmp, kPng, kJpeg) declares
// them, without decoding: only the header is read (for a JPEG, the heads of the segments before
// its frame header). Nothing when the file cannot be opened, is not of the reader's format or its
// header is cut short, and for the plug-ins' reader (the host asks the plug-ins).
std::optional<std::pair<int, int>> DeclaredSize(const std::string& file_name, TReader reader);

}  // namespace qv
