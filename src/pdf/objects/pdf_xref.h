// TPdfXref: the cross-reference table that numbers and owns every indirect object.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/objects/pdf_dictionary.h"

namespace qv {

struct TPdfXrefEntry {
  char entry_type = 'n';          // 'n' in use, 'f' free
  std::int32_t byte_offset = -1;  // -1 until the object is written
  std::int32_t generation = 0;
  TPdfObjectPtr object;  // owned; none for the free entry 0
};

class TPdfXref : public TPdfObjectMgr {
 public:
  // Entry 0 is the free head: type 'f', generation 65535, offset -1.
  TPdfXref();

  // Numbers a direct object with the next entry index and makes it indirect; a non-direct one
  // fails with EPdfInvalidOperation "AddObject --wrong object type.".
  void AddObject(std::unique_ptr<TPdfObject> object) override;
  TPdfObject *GetObject(int n) const override;

  // AddObject returning the object, typed.
  template <class T>
  T *Add(std::unique_ptr<T> object) {
    T *raw = object.get();
    AddObject(std::move(object));
    return raw;
  }

  int ItemCount() const { return static_cast<int>(entries_.size()); }
  TPdfXrefEntry &Items(int i) { return entries_.at(static_cast<std::size_t>(i)); }
  const TPdfXrefEntry &Items(int i) const { return entries_.at(static_cast<std::size_t>(i)); }

 private:
  std::vector<TPdfXrefEntry> entries_;
};

// Writes "%PDF-1.2 " CR LF, or the later version a document's features ask for.
class TPdfHeader {
 public:
  void WriteToStream(TStream &stream) const;
  // Raises the version the header names to 1.minor (never lowers it).
  void RequireVersion(int minor) { minor_ = minor > minor_ ? minor : minor_; }

 private:
  int minor_ = 2;
};

// The trailer dictionary (created holding "Size" 0) and the cross-reference position.
class TPdfTrailer {
 public:
  explicit TPdfTrailer(TPdfObjectMgr *object_mgr);
  TPdfDictionary &Attributes() { return *attributes_; }
  std::int32_t XrefAddress() const { return xref_address_; }
  void SetXrefAddress(std::int32_t address) { xref_address_ = address; }
  // "trailer" CR LF, the dictionary, CR LF "startxref" CR LF, the position, CR LF "%%EOF" CR LF.
  void WriteToStream(TStream &stream);

 private:
  std::unique_ptr<TPdfDictionary> attributes_;
  std::int32_t xref_address_ = 0;
};

}  // namespace qv
