// TPdfObject framing and the bodies of the scalar kinds.
#include "pdf/objects/pdf_object.h"

#include "pdf/objects/code_page.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

void TPdfObject::WriteTo(TStream &stream) {
  if (object_type_ != TPdfObjectType::otDirect) {
    WriteTextToStream(stream, IntToStr(object_number_) + " " + IntToStr(generation_number_) + " R");
    return;
  }
  WriteBody(stream);
}

void TPdfObject::WriteIndirect(TStream &stream) {
  if (object_type_ != TPdfObjectType::otIndirect)
    throw EPdfInvalidOperation(Tr(pdf_messages::kWrongObjectType));
  WriteTextToStream(stream,
                    IntToStr(object_number_) + " " + IntToStr(generation_number_) + " obj\r\n");
  WriteBody(stream);
  WriteTextToStream(stream, "\r\nendobj\r\n");
}

void TPdfObject::WriteBody(TStream &) {}

void TPdfNull::WriteBody(TStream &stream) { WriteTextToStream(stream, "null"); }

void TPdfBoolean::WriteBody(TStream &stream) {
  WriteTextToStream(stream, value_ ? "true" : "false");
}

void TPdfNumber::WriteBody(TStream &stream) { WriteTextToStream(stream, IntToStr(value_)); }

void TPdfReal::WriteBody(TStream &stream) { WriteTextToStream(stream, PdfRealText(value_)); }

void TPdfText::WriteBody(TStream &stream) {
  WriteTextToStream(stream, PdfTextForm(value_, AnsiCodePage()));
}

void TPdfName::WriteBody(TStream &stream) {
  WriteTextToStream(stream, "/");
  WriteTextToStream(stream, EscapeName(value_));
}

void TPdfBinary::WriteBody(TStream &stream) { stream.WriteBuffer(data_.data(), data_.size()); }

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::CreateReference(std::int32_t object_number) {
  std::unique_ptr<TPdfVirtualObject> reference(new TPdfVirtualObject);
  reference->SetObjectNumber(object_number);
  reference->SetObjectType(TPdfObjectType::otReference);
  return reference;
}

TPdfObjectPtr CheckOwnedValue(TPdfObjectPtr value) {
  if (!value) throw EPdfInvalidValue(Tr(pdf_messages::kWrongElementValue));
  if (value->ObjectType() == TPdfObjectType::otIndirect)
    throw EPdfInvalidOperation(Tr(pdf_messages::kWrongObjectType));
  return value;
}

TPdfObjectPtr ReferenceTo(const TPdfObject &object) {
  if (object.ObjectType() == TPdfObjectType::otDirect)
    throw EPdfInvalidOperation(Tr(pdf_messages::kWrongObjectType));
  return TPdfVirtualObject::CreateReference(object.ObjectNumber());
}

}  // namespace qv
