// TPdfDictionary: "<<" CR LF, one "key value" CR LF line per visible element, ">>".
#include "pdf/objects/pdf_dictionary.h"

#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "runtime/translation.h"

namespace qv {

TPdfDictionaryElement::TPdfDictionaryElement(std::string key, TPdfObjectPtr value, bool is_internal)
    : key_(std::move(key)), value_(std::move(value)), is_internal_(is_internal) {
  if (!value_) throw EPdfInvalidValue(Tr(pdf_messages::kWrongElementValue));
}

void TPdfDictionary::Append(const std::string &key, TPdfObjectPtr value, bool is_internal) {
  auto element = std::make_unique<TPdfDictionaryElement>(key, std::move(value), is_internal);
  Remove(key);
  elements_.push_back(std::move(element));
}

void TPdfDictionary::Put(const std::string &key, TPdfObjectPtr value) {
  Append(key, CheckOwnedValue(std::move(value)), false);
}

void TPdfDictionary::PutReference(const std::string &key, const TPdfObject &indirect) {
  Append(key, ReferenceTo(indirect), false);
}

void TPdfDictionary::PutInternal(const std::string &key, TPdfObjectPtr value) {
  Append(key, CheckOwnedValue(std::move(value)), true);
}

void TPdfDictionary::Remove(const std::string &key) {
  for (auto it = elements_.begin(); it != elements_.end(); ++it) {
    if ((*it)->Key().Value() == key) {
      elements_.erase(it);
      return;
    }
  }
}

TPdfObject *TPdfDictionary::Find(const std::string &key) const {
  for (const auto &element : elements_) {
    if (element->Key().Value() != key) continue;
    TPdfObject *value = element->Value();
    if (value->ObjectType() != TPdfObjectType::otReference) return value;
    return object_mgr_ ? object_mgr_->GetObject(value->ObjectNumber()) : nullptr;
  }
  return nullptr;
}

TPdfNumber *TPdfDictionary::FindNumber(const std::string &key) const {
  return dynamic_cast<TPdfNumber *>(Find(key));
}
TPdfReal *TPdfDictionary::FindReal(const std::string &key) const {
  return dynamic_cast<TPdfReal *>(Find(key));
}
TPdfName *TPdfDictionary::FindName(const std::string &key) const {
  return dynamic_cast<TPdfName *>(Find(key));
}
TPdfText *TPdfDictionary::FindText(const std::string &key) const {
  return dynamic_cast<TPdfText *>(Find(key));
}
TPdfDictionary *TPdfDictionary::FindDictionary(const std::string &key) const {
  return dynamic_cast<TPdfDictionary *>(Find(key));
}
TPdfArray *TPdfDictionary::FindArray(const std::string &key) const {
  return dynamic_cast<TPdfArray *>(Find(key));
}

std::string TPdfDictionary::TypeOf() const {
  TPdfName *type = FindName("Type");
  return type ? type->Value() : std::string();
}

void TPdfDictionary::WriteBody(TStream &stream) {
  WriteTextToStream(stream, "<<\r\n");
  for (const auto &element : elements_) {
    if (element->IsInternal()) continue;
    element->Key().WriteTo(stream);
    WriteTextToStream(stream, " ");
    element->Value()->WriteTo(stream);
    WriteTextToStream(stream, "\r\n");
  }
  WriteTextToStream(stream, ">>");
}

}  // namespace qv
