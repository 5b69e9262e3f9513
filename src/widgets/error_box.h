// The application's standard error box for a failure that leaves an event handler.
#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <string>

class QMessageBox;
class QWidget;

namespace qv::widgets {

// The text the box shows for a failure: the message with the error-box dot rule; nullopt for the
// silent abort (which shows nothing) and for an empty pointer.
std::optional<QString> ErrorBoxMessage(std::exception_ptr error);

// Shows the failure in a message box with the error icon, the application's display name as
// caption and one OK button. Does nothing for the silent abort or an empty pointer. A non-empty
// informative text (the file that failed) goes on the box's second line, below the message.
void ShowException(std::exception_ptr error, QWidget* parent = nullptr,
                   const QString& informative = QString());

// Makes the box at least as wide as a window manager needs to show its title whole beside the
// title bar's buttons (a box of a short message is otherwise as narrow as the message, and the
// title is cut: "Qu...ale"). Call before the box is shown.
void KeepTitleWhole(QMessageBox& box);

// Converts between the core's byte strings (the locale's charset) and Qt text.
QString FromLocal(const std::string& text);
std::string ToLocal(const QString& text);

}  // namespace qv::widgets
