// TAutoIni: the control walker and its four uses (save, load, snapshot, restore).
#include "settings/auto_ini.h"

#include <optional>

#include "runtime/paths.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/ini_file.h"
#include "settings/ini_location.h"
#include "settings/settings_messages.h"

namespace qv {

namespace {

std::optional<TCheckControl> CheckFlagOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::kEdit: return TCheckControl::ccEdit;
    case TControlKind::kCheckBox: return TCheckControl::ccCheckBox;
    case TControlKind::kRadioButton: return TCheckControl::ccRadioButton;
    case TControlKind::kRadioGroup: return TCheckControl::ccRadioGroup;
    case TControlKind::kListBox: return TCheckControl::ccListBox;
    case TControlKind::kComboBox: return TCheckControl::ccComboBox;
    case TControlKind::kShape: return TCheckControl::ccColor;
    case TControlKind::kHotKey: return TCheckControl::ccHotKey;
    case TControlKind::kOther: break;
  }
  return std::nullopt;
}

// An index brought into the range the control accepts: a radio group clamps; a list or combo
// box takes an index outside its items as no selection.
int FitIndex(TCheckControl kind, int index, int count) {
  if (kind == TCheckControl::ccRadioGroup) {
    if (index < -1) return -1;
    if (index > count - 1) return count - 1;
    return index;
  }
  return index < -1 || index >= count ? -1 : index;
}

// Gives the control a number (state, index, colour or shortcut).
void SetNumber(IControl& control, TCheckControl kind, std::int32_t value) {
  switch (kind) {
    case TCheckControl::ccCheckBox:
    case TCheckControl::ccRadioButton: control.SetChecked(value != 0); break;
    case TCheckControl::ccRadioGroup:
    case TCheckControl::ccListBox:
    case TCheckControl::ccComboBox:
      control.SetItemIndex(FitIndex(kind, value, control.ItemCount()));
      break;
    case TCheckControl::ccColor: control.SetColor(value); break;
    case TCheckControl::ccHotKey: control.SetHotKey(value & 0xFFFF); break;
    case TCheckControl::ccEdit: break;
  }
}

// Clears a member pointer when the scope that set it ends, also on failure.
template <typename T>
class TScopedPointer {
 public:
  TScopedPointer(T*& slot, T* value) : slot_(slot) { slot_ = value; }
  ~TScopedPointer() { slot_ = nullptr; }
  TScopedPointer(const TScopedPointer&) = delete;
  TScopedPointer& operator=(const TScopedPointer&) = delete;

 private:
  T*& slot_;
};

}  // namespace

std::string StoredText(const IControl& control) {
  switch (control.Kind()) {
    case TControlKind::kEdit: return control.Text();
    case TControlKind::kCheckBox:
    case TControlKind::kRadioButton: return control.Checked() ? "1" : "0";
    case TControlKind::kRadioGroup:
    case TControlKind::kListBox:
    case TControlKind::kComboBox: return IntToStr(control.ItemIndex());
    case TControlKind::kShape: return IntToStr(control.Color());
    case TControlKind::kHotKey: return IntToStr(control.HotKey());
    case TControlKind::kOther: break;
  }
  return {};
}

void SetStoredText(IControl& control, const std::string& text) {
  std::optional<TCheckControl> kind = CheckFlagOf(control.Kind());
  if (!kind) return;
  if (*kind == TCheckControl::ccEdit) {
    control.SetText(text);
  } else if (*kind == TCheckControl::ccCheckBox || *kind == TCheckControl::ccRadioButton) {
    control.SetChecked(text == "1");
  } else if (std::optional<std::int32_t> number = ParseInt32(text)) {
    SetNumber(control, *kind, *number);
  }
}

std::string IAutoIniHost::ExecutableFileName() const { return qv::ExecutableFileName(); }

TAutoIni::TAutoIni(IForm& owner, IAutoIniHost& host) : owner_(owner), host_(host) {}

TAutoIni::~TAutoIni() = default;

void TAutoIni::MakeIniPath() {
  if (!ini_path_override_.empty()) {
    if (section_.empty()) section_ = ExtractFileName(host_.ExecutableFileName());
    ini_path_ = ini_path_override_;
    return;
  }
  const std::string exe = host_.ExecutableFileName();
  if (section_.empty()) section_ = ExtractFileName(exe);
  std::string path =
      ini_file_name_.empty() ? ChangeFileExt(exe, ".ini") : ExtractFilePath(exe) + ini_file_name_;
  if (make_ini_win_dir_) path = ExtractFileName(path);
  ini_path_ = ResolveIniPath(path);
}

void TAutoIni::SaveToIni() {
  try {
    MakeIniPath();
    TIniFile ini(ini_path_);
    std::vector<std::pair<std::string, std::string>> writes;
    TScopedPointer<TIniFile> ini_scope(ini_, &ini);
    TScopedPointer<std::vector<std::pair<std::string, std::string>>> writes_scope(pending_writes_,
                                                                                  &writes);
    if (check_win_state_) {
      const std::string name = owner_.Name();
      writes.emplace_back(name + "Top", IntToStr(owner_.Top()));
      writes.emplace_back(name + "Left", IntToStr(owner_.Left()));
      if (check_win_size_) {
        writes.emplace_back(name + "height", IntToStr(owner_.Height()));
        writes.emplace_back(name + "width", IntToStr(owner_.Width()));
      }
    }
    WalkControls(owner_, TWalkMode::kWrite);
    ini.WriteValues(section_, writes);
  } catch (...) {
    host_.ShowMessage(Tr(messages::kCanNotSaveIni));
    throw;
  }
}

void TAutoIni::LoadFromIni() {
  try {
    MakeIniPath();
    TIniFile ini(ini_path_);
    TScopedPointer<TIniFile> ini_scope(ini_, &ini);
    if (check_win_state_) {
      const std::string name = owner_.Name();
      owner_.SetTop(ini.ReadInteger(section_, name + "Top", 0));
      owner_.SetLeft(ini.ReadInteger(section_, name + "Left", 0));
      if (check_win_size_) {
        owner_.SetHeight(ini.ReadInteger(section_, name + "height", owner_.Height()));
        owner_.SetWidth(ini.ReadInteger(section_, name + "width", owner_.Width()));
      }
    }
    WalkControls(owner_, TWalkMode::kRead);
  } catch (...) {
    host_.ShowMessage(Tr(messages::kCanNotLoadIni));
    throw;
  }
}

void TAutoIni::StoreState() {
  state_list_.clear();
  WalkControls(owner_, TWalkMode::kStore);
}

void TAutoIni::RestoreState() {
  if (state_list_.empty()) return;
  WalkControls(owner_, TWalkMode::kRestore);
  state_list_.clear();
}

void TAutoIni::WalkControls(IControl& container, TWalkMode mode) {
  const std::size_t count = container.ChildCount();
  for (std::size_t i = 0; i < count; ++i) {
    IControl* control = container.Child(i);
    if (!control) continue;
    std::optional<TCheckControl> flag = CheckFlagOf(control->Kind());
    if (flag && check_controls_.Contains(*flag)) {
      if (check_tag_ && control->Tag() != enable_tag_) continue;
      ApplyToControl(*control, *flag, mode);
    } else if (control->ChildCount() > 0) {
      WalkControls(*control, mode);
    }
  }
}

const std::string* TAutoIni::FindState(const std::string& name) const {
  for (const std::string& entry : state_list_) {
    std::size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    if (EqualsNoCase(std::string_view(entry).substr(0, equals), name)) return &entry;
  }
  return nullptr;
}

void TAutoIni::ApplyToControl(IControl& control, TCheckControl kind, TWalkMode mode) {
  const std::string name = control.Name();

  switch (mode) {
    case TWalkMode::kWrite: {
      if (!pending_writes_) break;
      std::string text = StoredText(control);
      std::optional<std::string> optional_default = control.OptionalDefault();
      if (optional_default && text == *optional_default && ini_ && !ini_->ReadValue(section_, name))
        break;  // an optional setting at its default stays out of the file
      pending_writes_->emplace_back(name, std::move(text));
      break;
    }
    case TWalkMode::kRead: {
      if (!ini_) break;
      if (kind == TCheckControl::ccEdit) {
        control.SetText(ini_->ReadString(section_, name, control.Text()));
      } else if (kind == TCheckControl::ccCheckBox || kind == TCheckControl::ccRadioButton) {
        control.SetChecked(ini_->ReadBool(section_, name, control.Checked()));
      } else {
        std::int32_t fallback = *ParseInt32(StoredText(control));
        SetNumber(control, kind, ini_->ReadInteger(section_, name, fallback));
      }
      break;
    }
    case TWalkMode::kStore: state_list_.push_back(name + "=" + StoredText(control)); break;
    case TWalkMode::kRestore: {
      // A control that was not in the snapshot (the form changed since) keeps its value.
      const std::string* entry = FindState(name);
      if (!entry) break;
      SetStoredText(control, entry->substr(entry->find('=') + 1));
      break;
    }
  }
}

}  // namespace qv
