// An in-memory control tree: building it and finding controls by name.
#include "settings/model_control.h"

namespace qv {

TModelControl::TModelControl(TControlKind kind, std::string name)
    : kind_(kind), name_(std::move(name)) {}

TModelControl& TModelControl::Add(TControlKind kind, std::string name) {
  children_.push_back(std::make_unique<TModelControl>(kind, std::move(name)));
  return *children_.back();
}

TModelControl* TModelControl::Find(const std::string& name) {
  if (name_ == name) return this;
  for (auto& child : children_)
    if (TModelControl* found = child->Find(name)) return found;
  return nullptr;
}

const TModelControl* TModelControl::Find(const std::string& name) const {
  return const_cast<TModelControl*>(this)->Find(name);
}

}  // namespace qv
