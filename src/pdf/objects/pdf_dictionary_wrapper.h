// TPdfDictionaryWrapper: a typed view onto one dictionary of the document.
#pragma once

#include "pdf/objects/pdf_dictionary.h"

namespace qv {

class TPdfDictionaryWrapper {
 public:
  virtual ~TPdfDictionaryWrapper() = default;
  TPdfDictionary *Data() const { return data_; }
  // Sets the wrapped dictionary (owned by the cross-reference table).
  virtual void SetData(TPdfDictionary *data) { data_ = data; }

 private:
  TPdfDictionary *data_ = nullptr;
};

}  // namespace qv
