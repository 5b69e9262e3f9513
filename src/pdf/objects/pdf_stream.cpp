// TPdfStream: the Flate decision and the stream framing.
#include "pdf/objects/pdf_stream.h"

#include "pdf/objects/compression_stream.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "runtime/stream.h"

namespace qv {

TPdfStream::TPdfStream(TPdfObjectMgr *object_mgr)
    : attributes_(std::make_unique<TPdfDictionary>(object_mgr)) {
  attributes_->Put("Length", std::make_unique<TPdfNumber>(0));
  attributes_->Put("Filter", std::make_unique<TPdfArray>(object_mgr));
}

void TPdfStream::AppendData(const void *bytes, std::size_t count) {
  const auto *begin = static_cast<const std::uint8_t *>(bytes);
  data_.insert(data_.end(), begin, begin + count);
}

void TPdfStream::WriteBody(TStream &stream) {
  TPdfNumber *length = attributes_->FindNumber("Length");
  TPdfArray *filter = attributes_->FindArray("Filter");
  TMemoryStream deflated;
  const std::vector<std::uint8_t> *bytes = &data_;
  if (filter != nullptr && filter->FindName("FlateDecode")) {
    TCompressionStream compressor(TCompressionLevel::clMax, deflated);
    compressor.WriteBuffer(data_.data(), data_.size());
    compressor.Finish();
    bytes = &deflated.Bytes();
  }
  if (length != nullptr) length->SetValue(static_cast<std::int32_t>(bytes->size()));
  attributes_->WriteTo(stream);
  WriteTextToStream(stream, "\r\nstream\r\n");
  stream.WriteBuffer(bytes->data(), bytes->size());
  WriteTextToStream(stream, "\nendstream");
}

}  // namespace qv
