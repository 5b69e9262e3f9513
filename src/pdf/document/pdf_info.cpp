// TPdfInfo.
#include "pdf/document/pdf_info.h"

#include "pdf/objects/pdf_text_helpers.h"

namespace qv {

void TPdfInfo::Put(const std::string &key, const std::string &value) {
  Data()->Put(key, std::make_unique<TPdfText>(value));
}

std::string TPdfInfo::PdfDateText() { return PdfDate(); }

std::string TPdfInfo::Text(const std::string &key) const {
  TPdfText *text = Data()->FindText(key);
  return text ? text->Value() : std::string();
}

}  // namespace qv
