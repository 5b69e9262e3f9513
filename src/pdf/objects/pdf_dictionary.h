// TPdfDictionary: an ordered list of key/value elements, some of them internal (never written).
#pragma once

#include <string>
#include <vector>

#include "pdf/objects/pdf_object.h"

namespace qv {

class TPdfArray;

// One key and its owned value; an internal element is found by lookups but never written.
class TPdfDictionaryElement {
 public:
  // EPdfInvalidValue "internal error. wrong object." when value is absent.
  TPdfDictionaryElement(std::string key, TPdfObjectPtr value, bool is_internal);
  const TPdfName &Key() const { return key_; }
  TPdfName &Key() { return key_; }
  TPdfObject *Value() const { return value_.get(); }
  bool IsInternal() const { return is_internal_; }

 private:
  TPdfName key_;
  TPdfObjectPtr value_;
  bool is_internal_;
};

class TPdfDictionary : public TPdfObject {
 public:
  explicit TPdfDictionary(TPdfObjectMgr *object_mgr = nullptr) : object_mgr_(object_mgr) {}

  // Removes any element with the key, then appends a visible one (so a key put again moves to
  // the end). The dictionary takes the value over.
  void Put(const std::string &key, TPdfObjectPtr value);
  // The same with a reference to an indirect object owned by the object manager.
  void PutReference(const std::string &key, const TPdfObject &indirect);
  // As Put, but the element is internal.
  void PutInternal(const std::string &key, TPdfObjectPtr value);
  // Frees the first element with the key; nothing when there is none.
  void Remove(const std::string &key);

  // The value of the first element with the key (exact bytes), a reference resolved through the
  // object manager (nullptr without one); nullptr when absent.
  TPdfObject *Find(const std::string &key) const;
  TPdfNumber *FindNumber(const std::string &key) const;
  TPdfReal *FindReal(const std::string &key) const;
  TPdfName *FindName(const std::string &key) const;
  TPdfText *FindText(const std::string &key) const;
  TPdfDictionary *FindDictionary(const std::string &key) const;
  TPdfArray *FindArray(const std::string &key) const;
  // The value of "Type" as text, empty when absent.
  std::string TypeOf() const;

  int ItemCount() const { return static_cast<int>(elements_.size()); }
  const TPdfDictionaryElement &Items(int i) const {
    return *elements_.at(static_cast<std::size_t>(i));
  }
  TPdfObjectMgr *ObjectMgr() const { return object_mgr_; }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  void Append(const std::string &key, TPdfObjectPtr value, bool is_internal);
  std::vector<std::unique_ptr<TPdfDictionaryElement>> elements_;
  TPdfObjectMgr *object_mgr_;
};

}  // namespace qv
