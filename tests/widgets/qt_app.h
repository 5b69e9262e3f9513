// One QApplication for a test program (offscreen unless a platform is chosen) and event helpers.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace qv::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "quenvale-test";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: tearing Qt down among the static destructors crashes in its input devices.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// Processes events until the condition holds or two seconds pass; returns the condition.
inline bool ProcessUntil(const std::function<bool()>& condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition() && timer.elapsed() < 2000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  return condition();
}

// Answers every message box that opens while it lives, recording the texts it showed.
class TMessageBoxCatcher {
 public:
  TMessageBoxCatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        captions.push_back(box->windowTitle());
        texts.push_back(box->text());
        box->accept();
      }
    });
    timer_.start(10);
  }
  QStringList captions;
  QStringList texts;

 private:
  QTimer timer_;
};

}  // namespace qv::testing
