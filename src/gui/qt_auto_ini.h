// TAutoIni for a Qt form: the form's position and input controls stored in the INI file.
#pragma once

#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace qv::gui {

class TQtAutoIni {
 public:
  explicit TQtAutoIni(QWidget* form);
  ~TQtAutoIni();

  void SetSection(const std::string& section) { section_ = section; }
  const std::string& Section() const { return section_; }
  void SetCheckWinState(bool value) { check_win_state_ = value; }
  // The INI file: the executable's path with ".ini" unless set.
  void SetIniPath(const std::string& path) { ini_path_ = path; }
  const std::string& IniPath() const { return ini_path_; }

  void LoadFromIni();
  void SaveToIni();
  void StoreState();
  void RestoreState();

 private:
  QWidget* form_;
  std::string section_;
  std::string ini_path_;
  bool check_win_state_ = false;
  std::vector<std::pair<std::string, std::string>> state_;
};

}  // namespace qv::gui
