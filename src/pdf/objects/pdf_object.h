// TPdfObject, the base of every PDF value, and the scalar kinds (null, boolean, number, real,
// text, name, binary, reference).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class TStream;
class TPdfObject;

enum class TPdfObjectType { otDirect, otIndirect, otReference };

// Numbers indirect objects and finds them by number (the cross-reference table).
class TPdfObjectMgr {
 public:
  virtual ~TPdfObjectMgr() = default;
  // Takes ownership of a direct object, numbers it and makes it indirect.
  virtual void AddObject(std::unique_ptr<TPdfObject> object) = 0;
  // The object numbered n, or nullptr.
  virtual TPdfObject *GetObject(int n) const = 0;
};

class TPdfObject {
 public:
  TPdfObject() = default;
  virtual ~TPdfObject() = default;
  TPdfObject(const TPdfObject &) = delete;
  TPdfObject &operator=(const TPdfObject &) = delete;

  TPdfObjectType ObjectType() const { return object_type_; }
  std::int32_t ObjectNumber() const { return object_number_; }
  std::int32_t GenerationNumber() const { return generation_number_; }
  // Used by the object manager when it numbers the object.
  void SetObjectNumber(std::int32_t number) { object_number_ = number; }
  void SetObjectType(TPdfObjectType type) { object_type_ = type; }

  // Writes the object where it is used: "n 0 R" for a non-direct object, else its body.
  void WriteTo(TStream &stream);
  // Writes "n 0 obj" CR LF, the body, CR LF "endobj" CR LF; EPdfInvalidOperation
  // "internal error wrong object type" unless the object is indirect.
  void WriteIndirect(TStream &stream);

 protected:
  // The object's own bytes; nothing in the base.
  virtual void WriteBody(TStream &stream);

 private:
  TPdfObjectType object_type_ = TPdfObjectType::otDirect;
  std::int32_t object_number_ = -1;
  std::int32_t generation_number_ = 0;
};

using TPdfObjectPtr = std::unique_ptr<TPdfObject>;

class TPdfNull : public TPdfObject {
 protected:
  void WriteBody(TStream &stream) override;
};

class TPdfBoolean : public TPdfObject {
 public:
  explicit TPdfBoolean(bool value = false) : value_(value) {}
  bool Value() const { return value_; }
  void SetValue(bool value) { value_ = value; }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  bool value_;
};

class TPdfNumber : public TPdfObject {
 public:
  explicit TPdfNumber(std::int32_t value = 0) : value_(value) {}
  std::int32_t Value() const { return value_; }
  void SetValue(std::int32_t value) { value_ = value; }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  std::int32_t value_;
};

class TPdfReal : public TPdfObject {
 public:
  explicit TPdfReal(double value = 0) : value_(value) {}
  double Value() const { return value_; }
  void SetValue(double value) { value_ = value; }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  double value_;
};

// A text in the writer's code page; written literal or, with multi-byte characters, as UTF-16.
class TPdfText : public TPdfObject {
 public:
  explicit TPdfText(std::string value = {}) : value_(std::move(value)) {}
  const std::string &Value() const { return value_; }
  void SetValue(std::string value) { value_ = std::move(value); }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  std::string value_;
};

// A name; the value is held without its slash.
class TPdfName : public TPdfObject {
 public:
  explicit TPdfName(std::string value = {}) : value_(std::move(value)) {}
  const std::string &Value() const { return value_; }
  void SetValue(std::string value) { value_ = std::move(value); }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  std::string value_;
};

// Pre-formatted PDF text, written unchanged.
class TPdfBinary : public TPdfObject {
 public:
  std::vector<std::uint8_t> &Data() { return data_; }

 protected:
  void WriteBody(TStream &stream) override;

 private:
  std::vector<std::uint8_t> data_;
};

// Stands for an indirect object elsewhere; always written as "n 0 R".
class TPdfVirtualObject : public TPdfObject {
 public:
  static std::unique_ptr<TPdfVirtualObject> CreateReference(std::int32_t object_number);

 private:
  TPdfVirtualObject() = default;
};

// A value a container takes over: EPdfInvalidValue "internal error. wrong object." when absent;
// an indirect object belongs to its object manager and cannot be handed over (a programming
// error, EPdfInvalidOperation "internal error wrong object type").
TPdfObjectPtr CheckOwnedValue(TPdfObjectPtr value);

// What a container stores for an object owned elsewhere: a new reference to its number
// (a reference to a reference copies its number). A direct object cannot be referred to.
TPdfObjectPtr ReferenceTo(const TPdfObject &object);

}  // namespace qv
