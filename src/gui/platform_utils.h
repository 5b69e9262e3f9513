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

// Applies a priority class to every thread of the process; false when the system refused it
// (then nothing was changed). Every class can be left again by the same process:
// - idle: conversion yields to other work. SCHED_IDLE when this process may leave it again
//   (a privileged one; tried on a short-lived thread first), otherwise SCHED_BATCH, which an
//   ordinary user can leave but SCHED_IDLE and a raised nice value are not: both need
//   CAP_SYS_NICE or an RLIMIT_NICE allowance to undo. Nice 0 in both cases.
// - normal: SCHED_OTHER at nice 0 (refused for an ordinary user started at a higher nice).
// - high: SCHED_OTHER at nice -10; real-time: SCHED_RR at its lowest priority (both privileged).
bool SetPriorityClass(unsigned priority_class);

// The priority class in force for the calling thread, as the menu names it: real-time for
// SCHED_RR and SCHED_FIFO, idle for SCHED_IDLE, SCHED_BATCH or a nice value above 0, high for a
// nice value below 0, normal otherwise.
unsigned CurrentPriorityClass();

}  // namespace qv::gui
