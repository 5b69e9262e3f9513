// TPdfInfo.
#include "pdf/document/pdf_info.h"

#include "pdf/objects/pdf_text_helpers.h"

namespace qv {

void TPdfInfo::Put(const std::string &key, const std::string &value) {
  Data()->Put(key, std::make_unique<TPdfText>(value));
}

std::string TPdfInfo::PdfDateText() { return PdfDate(); }

}  // namespace qv
