// TControlHook: sees every event of a widget and follows it when its native window is re-created.
#include "widgets/control_hook.h"

#include <QEvent>
#include <QWidget>

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv::widgets {

namespace {
constexpr char kNoHookTarget[] = N_("Cannot find the hook target.");
}

TControlHook::TControlHook(QObject* owner) : QObject(owner) {}

TControlHook::~TControlHook() { Unhook(); }

void TControlHook::SetTarget(THookTarget target) {
  Unhook();
  target_ = target;
  if (loaded_) Hook();
}

void TControlHook::SetControl(QWidget* control) {
  Unhook();
  control_ = control;
  if (loaded_) Hook();
}

void TControlHook::Loaded() {
  loaded_ = true;
  Hook();
}

QWidget* TControlHook::FindTarget() const {
  if (target_ == THookTarget::htControl) return control_;
  if (control_) return control_->window();
  // The first widget met among the owners; its top-level window is the form.
  for (QObject* owner = parent(); owner; owner = owner->parent()) {
    if (auto* widget = qobject_cast<QWidget*>(owner)) return widget->window();
  }
  return nullptr;
}

void TControlHook::Hook() {
  QWidget* target = FindTarget();
  if (!target) {
    if (target_ == THookTarget::htForm) throw Exception(Tr(kNoHookTarget));
    return;
  }
  hooked_ = target;
  handle_ = static_cast<qintptr>(target->internalWinId());
  // A widget destroyed before the component: the window is gone and nothing is handed back.
  destroyed_connection_ = connect(target, &QObject::destroyed, this, [this] {
    HandleChanged(1);
    hooked_ = nullptr;
  });
  target->installEventFilter(this);
}

void TControlHook::Unhook() {
  if (destroyed_connection_) disconnect(destroyed_connection_);
  if (hooked_) hooked_->removeEventFilter(this);
  hooked_ = nullptr;
  handle_ = 0;
}

void TControlHook::HandleChanged(int reason) {
  if (reason == 1)
    handle_ = 0;
  else if (reason == 2 && hooked_)
    handle_ = static_cast<qintptr>(hooked_->internalWinId());
}

bool TControlHook::HookProc(QEvent* /*event*/) { return false; }

bool TControlHook::eventFilter(QObject* watched, QEvent* event) {
  if (watched != hooked_) return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::WinIdChange) {
    // Qt tells of both ends of a native window's life with this one event.
    if (hooked_->internalWinId() == 0)
      HandleChanged(1);
    else
      handle_ = kRecreatingMark;
  } else if (handle_ == kRecreatingMark && hooked_->internalWinId() != 0) {
    HandleChanged(2);
  }
  return HookProc(event);
}

}  // namespace qv::widgets
