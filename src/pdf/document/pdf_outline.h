// TPdfOutlineRoot: the outline root of a document begun with outlines (never used by the
// program's own drops; outline items are not built).
#pragma once

#include "pdf/objects/pdf_dictionary_wrapper.h"

namespace qv {

class TPdfOutlineRoot : public TPdfDictionaryWrapper {
 public:
  // Before saving: the root's "Count" of open items (no items: 0).
  void Save() { Data()->Put("Count", std::make_unique<TPdfNumber>(0)); }
};

}  // namespace qv
