// TPdfXref, TPdfHeader and TPdfTrailer.
#include "pdf/objects/pdf_xref.h"

#include "pdf/objects/pdf_dictionary.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

TPdfXref::TPdfXref() {
  TPdfXrefEntry head;
  head.entry_type = 'f';
  head.generation = 65535;
  entries_.push_back(std::move(head));
}

void TPdfXref::AddObject(std::unique_ptr<TPdfObject> object) {
  if (!object || object->ObjectType() != TPdfObjectType::otDirect)
    throw EPdfInvalidOperation(Tr("AddObject --wrong object type."));
  TPdfXrefEntry entry;
  entry.generation = object->GenerationNumber();
  object->SetObjectNumber(static_cast<std::int32_t>(entries_.size()));
  object->SetObjectType(TPdfObjectType::otIndirect);
  entry.object = std::move(object);
  entries_.push_back(std::move(entry));
}

TPdfObject *TPdfXref::GetObject(int n) const {
  if (n < 0 || n >= ItemCount()) return nullptr;
  return entries_[static_cast<std::size_t>(n)].object.get();
}

void TPdfHeader::WriteToStream(TStream &stream) const {
  WriteTextToStream(stream, "%PDF-1." + IntToStr(minor_) + " \r\n");
}

TPdfTrailer::TPdfTrailer(TPdfObjectMgr *object_mgr)
    : attributes_(std::make_unique<TPdfDictionary>(object_mgr)) {
  attributes_->Put("Size", std::make_unique<TPdfNumber>(0));
}

void TPdfTrailer::WriteToStream(TStream &stream) {
  WriteTextToStream(stream, "trailer\r\n");
  attributes_->WriteTo(stream);
  WriteTextToStream(stream, "\r\nstartxref\r\n" + IntToStr(xref_address_) + "\r\n%%EOF\r\n");
}

}  // namespace qv
