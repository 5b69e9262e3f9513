// TPdfArray: an ordered list of owned PDF objects.
#pragma once

#include <initializer_list>
#include <vector>

#include "pdf/objects/pdf_object.h"

namespace qv {

class TPdfArray : public TPdfObject {
 public:
  explicit TPdfArray(TPdfObjectMgr *object_mgr = nullptr) : object_mgr_(object_mgr) {}
  // An array of numbers, in order (font width tables).
  TPdfArray(TPdfObjectMgr *object_mgr, std::initializer_list<std::int32_t> numbers);
  TPdfArray(TPdfObjectMgr *object_mgr, const std::vector<std::int32_t> &numbers);

  // Appends a value the array takes over (direct, or a reference).
  void Add(TPdfObjectPtr value);
  // Appends a reference to an indirect object owned by the object manager.
  void AddReference(const TPdfObject &indirect);

  int ItemCount() const { return static_cast<int>(items_.size()); }
  // Item i; a reference is resolved through the object manager (nullptr without one).
  TPdfObject *Items(int i) const;
  // True when an item is a name (or text) whose value equals name exactly.
  bool FindName(const std::string &name) const;

 protected:
  void WriteBody(TStream &stream) override;

 private:
  std::vector<TPdfObjectPtr> items_;
  TPdfObjectMgr *object_mgr_;
};

}  // namespace qv
