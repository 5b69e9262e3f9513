// TControlHook: sees every event of a widget and follows it when its native window is re-created.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QEvent;
class QWidget;

namespace qv::widgets {

enum class THookTarget { htControl, htForm };

// An event filter placed in front of a widget's own event handling. The owner is the form that
// holds the component (its QObject parent). Hooking happens in Loaded() and again whenever
// Target or Control changes after that.
class TControlHook : public QObject {
  Q_OBJECT

 public:
  // The value Handle() holds between the creation of a new native window and its next event.
  static constexpr qintptr kRecreatingMark = -1;

  explicit TControlHook(QObject* owner);
  ~TControlHook() override;

  THookTarget Target() const { return target_; }
  // Unhooks, stores the target and hooks again (once loaded).
  void SetTarget(THookTarget target);
  QWidget* Control() const { return control_; }
  void SetControl(QWidget* control);

  // Hooks the target: called once the owner form has been built. With htForm and no form to
  // hook, throws qv::Exception "フック先を特定できません。".
  virtual void Loaded();

  QWidget* HookedControl() const { return hooked_; }
  // The hooked widget's native window id, 0 when it has none, kRecreatingMark while a new one
  // has just been made.
  qintptr Handle() const { return handle_; }

 protected:
  // Reason 1: the native window is gone. Reason 2: a new native window exists.
  virtual void HandleChanged(int reason);
  // Handles one event of the hooked widget; true consumes it. The base passes everything on.
  virtual bool HookProc(QEvent* event);

  bool eventFilter(QObject* watched, QEvent* event) override;
  bool IsLoaded() const { return loaded_; }

 private:
  void Hook();
  void Unhook();
  QWidget* FindTarget() const;

  THookTarget target_ = THookTarget::htControl;
  QPointer<QWidget> control_;
  QPointer<QWidget> hooked_;
  qintptr handle_ = 0;
  bool loaded_ = false;
  QMetaObject::Connection destroyed_connection_;
};

}  // namespace qv::widgets
