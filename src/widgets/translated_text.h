// The program's texts as Qt strings: the catalogue's text for an English text
// (runtime/translation.h).
#pragma once

#include <QString>

#include "runtime/translation.h"

namespace qv {

inline QString TrQ(const char* text) { return QString::fromUtf8(Tr(text)); }

}  // namespace qv
