// TPdfArray: "[", each item and one space, "]".
#include "pdf/objects/pdf_array.h"

#include "pdf/objects/pdf_text_helpers.h"

namespace qv {

TPdfArray::TPdfArray(TPdfObjectMgr *object_mgr, std::initializer_list<std::int32_t> numbers)
    : object_mgr_(object_mgr) {
  for (std::int32_t n : numbers) Add(std::make_unique<TPdfNumber>(n));
}

TPdfArray::TPdfArray(TPdfObjectMgr *object_mgr, const std::vector<std::int32_t> &numbers)
    : object_mgr_(object_mgr) {
  for (std::int32_t n : numbers) Add(std::make_unique<TPdfNumber>(n));
}

void TPdfArray::Add(TPdfObjectPtr value) { items_.push_back(CheckOwnedValue(std::move(value))); }

void TPdfArray::AddReference(const TPdfObject &indirect) {
  items_.push_back(ReferenceTo(indirect));
}

TPdfObject *TPdfArray::Items(int i) const {
  TPdfObject *item = items_.at(static_cast<std::size_t>(i)).get();
  if (item->ObjectType() != TPdfObjectType::otReference) return item;
  return object_mgr_ ? object_mgr_->GetObject(item->ObjectNumber()) : nullptr;
}

bool TPdfArray::FindName(const std::string &name) const {
  for (const TPdfObjectPtr &item : items_) {
    if (auto *n = dynamic_cast<const TPdfName *>(item.get()); n && n->Value() == name) return true;
    if (auto *t = dynamic_cast<const TPdfText *>(item.get()); t && t->Value() == name) return true;
  }
  return false;
}

void TPdfArray::WriteBody(TStream &stream) {
  WriteTextToStream(stream, "[");
  for (const TPdfObjectPtr &item : items_) {
    item->WriteTo(stream);
    WriteTextToStream(stream, " ");
  }
  WriteTextToStream(stream, "]");
}

}  // namespace qv
