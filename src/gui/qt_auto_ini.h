// TAutoIni on a Qt form: the settings layer's component over the form's widgets, with Qt's
// message box for its messages.
#pragma once

#include <memory>
#include <string>

#include "settings/auto_ini.h"

class QWidget;

namespace qv::gui {

class TQtForm;

// Shows the settings layer's messages as information boxes over the form.
class TQtAutoIniHost : public IAutoIniHost {
 public:
  explicit TQtAutoIniHost(QWidget* form) : form_(form) {}
  void ShowMessage(const std::string& text) override;

 private:
  QWidget* form_;
};

// Owns the form adapter, the host and the component; the form must outlive it.
class TQtAutoIni {
 public:
  explicit TQtAutoIni(QWidget* form);
  ~TQtAutoIni();

  TAutoIni& Component() { return *auto_ini_; }
  void SetSection(const std::string& section) { auto_ini_->SetSection(section); }
  void SetCheckWinState(bool value) { auto_ini_->SetCheckWinState(value); }
  void LoadFromIni() { auto_ini_->LoadFromIni(); }
  void SaveToIni() { auto_ini_->SaveToIni(); }
  void StoreState() { auto_ini_->StoreState(); }
  void RestoreState() { auto_ini_->RestoreState(); }

 private:
  std::unique_ptr<TQtForm> form_;
  std::unique_ptr<TQtAutoIniHost> host_;
  std::unique_ptr<TAutoIni> auto_ini_;
};

}  // namespace qv::gui
