// TAutoIni: a form's position and input-control values kept in the INI file, and a snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/control_tree.h"

namespace qv {

class TIniFile;

// The kinds of control that take part (CheckControls).
enum class TCheckControl {
  ccEdit,
  ccCheckBox,
  ccRadioButton,
  ccRadioGroup,
  ccListBox,
  ccComboBox,
  ccColor,
  ccHotKey,
};

// A set of TCheckControl; All() holds all eight.
class TCheckControls {
 public:
  constexpr TCheckControls() = default;
  static constexpr TCheckControls All() { return TCheckControls(0xFF); }
  constexpr bool Contains(TCheckControl kind) const { return (bits_ & Bit(kind)) != 0; }
  constexpr TCheckControls& Include(TCheckControl kind) {
    bits_ |= Bit(kind);
    return *this;
  }
  constexpr TCheckControls& Exclude(TCheckControl kind) {
    bits_ &= ~Bit(kind);
    return *this;
  }
  constexpr bool operator==(const TCheckControls&) const = default;

 private:
  explicit constexpr TCheckControls(std::uint8_t bits) : bits_(bits) {}
  static constexpr std::uint8_t Bit(TCheckControl kind) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
  }
  std::uint8_t bits_ = 0;
};

// What the component needs from the program around it.
class IAutoIniHost {
 public:
  virtual ~IAutoIniHost() = default;
  // Shows an information message box with the text ("Can not save to IniFile", "Can not load
  // from IniFile") and returns when the user has closed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // The running program's absolute path; MakeIniPath builds the INI path from it. The default is
  // the process's own executable.
  virtual std::string ExecutableFileName() const;
};

// A control's value as the INI file stores it: an edit's text, "1"/"0" for a check box or radio
// button, the item index, colour or shortcut in decimal; "" for a control that holds no value.
std::string StoredText(const IControl& control);
// Gives a control the value of a stored text, as a restore of the snapshot does (an index is
// brought into the control's range; a text that is no number leaves a numeric control as it is).
void SetStoredText(IControl& control, const std::string& text);

// The walker's modes.
enum class TWalkMode { kWrite, kRead, kStore, kRestore };

// Placed on a form (the owner); both the owner and the host must outlive it. Nothing is held
// open between calls. Failures are qv::Exception (an INI write error is EIniFileError).
class TAutoIni {
 public:
  TAutoIni(IForm& owner, IAutoIniHost& host);
  ~TAutoIni();
  TAutoIni(const TAutoIni&) = delete;
  TAutoIni& operator=(const TAutoIni&) = delete;

  // Published properties, with their values at creation.
  // INI section; when empty at MakeIniPath, the executable's file name (with extension) is taken
  // and kept. Empty at creation.
  const std::string& Section() const { return section_; }
  void SetSection(const std::string& section) { section_ = section; }
  // When not empty, the INI file is this name inside the executable's folder. Empty at creation.
  const std::string& AIniFileName() const { return ini_file_name_; }
  void SetAIniFileName(const std::string& name) { ini_file_name_ = name; }
  // Which kinds of control take part. All eight at creation.
  TCheckControls CheckControls() const { return check_controls_; }
  void SetCheckControls(TCheckControls kinds) { check_controls_ = kinds; }
  // Store the owner form's top and left. False at creation.
  bool CheckWinState() const { return check_win_state_; }
  void SetCheckWinState(bool value) { check_win_state_ = value; }
  // Also store height and width (only together with CheckWinState). False at creation.
  bool CheckWinSize() const { return check_win_size_; }
  void SetCheckWinSize(bool value) { check_win_size_ = value; }
  // Take only controls whose tag equals EnableTag. False at creation.
  bool CheckTag() const { return check_tag_; }
  void SetCheckTag(bool value) { check_tag_ = value; }
  std::int32_t EnableTag() const { return enable_tag_; }
  void SetEnableTag(std::int32_t tag) { enable_tag_ = tag; }
  // Keep only the file name of the INI path (the file is then looked for relative to the
  // current folder). False at creation.
  bool MakeIniWinDir() const { return make_ini_win_dir_; }
  void SetMakeIniWinDir(bool value) { make_ini_win_dir_ = value; }

  // Not published: when not empty, MakeIniPath takes this path as it stands (no executable
  // folder, no per-user fallback). For a front end given an explicit file, and for tests.
  const std::string& IniPathOverride() const { return ini_path_override_; }
  void SetIniPathOverride(const std::string& path) { ini_path_override_ = path; }

  // The INI path resolved by the last MakeIniPath (FIniPath).
  const std::string& IniPath() const { return ini_path_; }
  // The snapshot (FStateList): "Name=value" entries in walk order.
  const std::vector<std::string>& StateList() const { return state_list_; }

  // Resolves FIniPath: fills an empty Section with the executable's file name; the path is the
  // executable's path with its extension replaced by ".ini", or the executable's folder followed
  // by AIniFileName when that is set; with MakeIniWinDir only its file name is kept. For an
  // installed program, or when the folder of the path cannot be written and no writable file
  // stands there, the per-user file ($XDG_CONFIG_HOME/quenvale/<file name>, see ResolveIniPath)
  // is used instead.
  void MakeIniPath();
  // Writes the position (with CheckWinState) and every control's value. On any failure shows
  // "Can not save to IniFile" through the host, then rethrows the same exception.
  void SaveToIni();
  // Reads the position (with CheckWinState: top and left default 0; with CheckWinSize height and
  // width default to the current size) and every control's value, each with its current value as
  // the default. On any failure shows "Can not load from IniFile", then rethrows.
  void LoadFromIni();
  // Clears the snapshot and fills it with every control's current value.
  void StoreState();
  // When the snapshot is not empty, gives every control its stored value and clears the list.
  void RestoreState();

  // The shared walker: visits container's children in child order, depth first (see IControl),
  // applying mode to each control that takes part. kWrite and kRead need an INI file, so they
  // are only valid inside SaveToIni/LoadFromIni (outside they do nothing).
  void WalkControls(IControl& container, TWalkMode mode);

 private:
  void ApplyToControl(IControl& control, TCheckControl kind, TWalkMode mode);
  const std::string* FindState(const std::string& name) const;

  IForm& owner_;
  IAutoIniHost& host_;
  std::string section_;
  std::string ini_file_name_;
  TCheckControls check_controls_ = TCheckControls::All();
  bool check_win_state_ = false;
  bool check_win_size_ = false;
  bool check_tag_ = false;
  std::int32_t enable_tag_ = 0;
  bool make_ini_win_dir_ = false;
  std::string ini_path_override_;
  std::string ini_path_;
  TIniFile* ini_ = nullptr;  // the INI file object of the running save or load, owned there
  // The keys a running save has collected, written in one locked rewrite at its end.
  std::vector<std::pair<std::string, std::string>>* pending_writes_ = nullptr;
  std::vector<std::string> state_list_;
};

}  // namespace qv
