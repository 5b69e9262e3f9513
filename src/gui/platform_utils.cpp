// Platform utilities of the GUI: special folders and the process priority class.
#include "gui/platform_utils.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>

#include <QStandardPaths>
#include <cstdlib>
#include <vector>

namespace qv::gui {

QString GetSpecialFolderPath(QWidget* /*owner*/, int folder_id) {
  QStandardPaths::StandardLocation location;
  switch (folder_id) {
    case kCsidlDesktop: location = QStandardPaths::DesktopLocation; break;
    case kCsidlPersonal: location = QStandardPaths::DocumentsLocation; break;
    case kCsidlMyPictures: location = QStandardPaths::PicturesLocation; break;
    default: return {};
  }
  return QStandardPaths::writableLocation(location);
}

namespace {

// The thread ids of this process (scheduling policy and nice value are per thread on Linux).
std::vector<pid_t> ProcessThreads() {
  std::vector<pid_t> threads;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      threads.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
    }
    ::closedir(dir);
  }
  if (threads.empty()) threads.push_back(0);
  return threads;
}

}  // namespace

void SetPriorityClass(unsigned priority_class) {
  int policy = SCHED_OTHER;
  int nice_value = 0;
  sched_param param{};
  switch (priority_class) {
    case kIdlePriorityClass: policy = SCHED_IDLE; break;
    case kHighPriorityClass: nice_value = -10; break;
    case kRealtimePriorityClass:
      policy = SCHED_RR;
      param.sched_priority = ::sched_get_priority_min(SCHED_RR);
      break;
    default: break;
  }
  for (pid_t thread : ProcessThreads()) {
    ::sched_setscheduler(thread, policy, &param);
    if (policy == SCHED_OTHER) ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice_value);
  }
}

}  // namespace qv::gui
