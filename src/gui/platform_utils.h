// Platform utilities of the GUI: special folders and the process priority class.
#pragma once

#include <QString>

class QWidget;

namespace qv::gui {

// Shell folder ids the program asks for.
inline constexpr int kCsidlDesktop = 0x00;
inline constexpr int kCsidlPersonal = 0x05;  // the user's documents
inline constexpr int kCsidlMyPictures = 0x27;

// The path of a special folder (documents for 5); empty when the platform knows none.
QString GetSpecialFolderPath(QWidget* owner, int folder_id);

// Priority classes as the menu names them.
inline constexpr unsigned kIdlePriorityClass = 0x40;
inline constexpr unsigned kNormalPriorityClass = 0x20;
inline constexpr unsigned kHighPriorityClass = 0x80;
inline constexpr unsigned kRealtimePriorityClass = 0x100;

// Applies a priority class to every thread of the process: idle is SCHED_IDLE, normal
// SCHED_OTHER at nice 0, high nice -10, real-time SCHED_RR. Failures (missing privileges) are
// not examined, so the caller cannot tell which class the system granted.
void SetPriorityClass(unsigned priority_class);

}  // namespace qv::gui
