// TPdfStream (attributes and data) and its kinds TPdfXObject and TPdfImage.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/objects/pdf_dictionary.h"

namespace qv {

class TPdfStream : public TPdfObject {
 public:
  // The attributes start with "Length" 0 and an empty "Filter" array.
  explicit TPdfStream(TPdfObjectMgr *object_mgr = nullptr);
  TPdfDictionary &Attributes() { return *attributes_; }
  const TPdfDictionary &Attributes() const { return *attributes_; }
  std::vector<std::uint8_t> &Data() { return data_; }
  const std::vector<std::uint8_t> &Data() const { return data_; }
  // Appends bytes to the data.
  void AppendData(const void *bytes, std::size_t count);

 protected:
  // Deflates a copy of the data when "Filter" holds "FlateDecode" (the data is never changed),
  // sets "Length", then writes the attributes, CR LF "stream" CR LF, the bytes, LF "endstream".
  void WriteBody(TStream &stream) override;

 private:
  std::unique_ptr<TPdfDictionary> attributes_;
  std::vector<std::uint8_t> data_;
};

class TPdfXObject : public TPdfStream {
 public:
  using TPdfStream::TPdfStream;
};

class TPdfImage : public TPdfXObject {
 public:
  using TPdfXObject::TPdfXObject;
};

}  // namespace qv
