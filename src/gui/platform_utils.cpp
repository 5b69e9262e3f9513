// Platform utilities of the GUI: special folders and the process priority class.
#include "gui/platform_utils.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <thread>
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

// True when this process may return a thread from SCHED_IDLE to SCHED_OTHER (only then is
// SCHED_IDLE a class it can leave again). Tried on a thread of its own that ends at once.
bool IdleIsReversible() {
  bool reversible = false;
  std::thread probe([&reversible] {
    sched_param param{};
    if (::sched_setscheduler(0, SCHED_IDLE, &param) != 0) return;
    reversible = ::sched_setscheduler(0, SCHED_OTHER, &param) == 0;
  });
  probe.join();
  return reversible;
}

// Applies the policy and nice value to one thread (0: the calling one). The nice value goes
// first: lowering it is what an ordinary user is refused, and then nothing has changed.
bool ApplyToThread(pid_t thread, int policy, int nice_value, const sched_param& param) {
  auto id = static_cast<id_t>(thread);
  errno = 0;
  int current = ::getpriority(PRIO_PROCESS, id);
  if (errno == 0 && current != nice_value && ::setpriority(PRIO_PROCESS, id, nice_value) != 0)
    return false;
  return ::sched_setscheduler(thread, policy, &param) == 0;
}

}  // namespace

bool SetPriorityClass(unsigned priority_class) {
  int policy = SCHED_OTHER;
  int nice_value = 0;
  sched_param param{};
  switch (priority_class) {
    case kIdlePriorityClass: policy = IdleIsReversible() ? SCHED_IDLE : SCHED_BATCH; break;
    case kHighPriorityClass: nice_value = -10; break;
    case kRealtimePriorityClass:
      policy = SCHED_RR;
      param.sched_priority = ::sched_get_priority_min(SCHED_RR);
      break;
    case kNormalPriorityClass: break;
    default: return false;
  }
  // The calling (user-interface) thread converts: the answer is its own. The other threads
  // follow it when they can.
  if (!ApplyToThread(0, policy, nice_value, param)) return false;
  pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
  for (pid_t thread : ProcessThreads())
    if (thread != self) ApplyToThread(thread, policy, nice_value, param);
  return true;
}

unsigned CurrentPriorityClass() {
  int policy = ::sched_getscheduler(0);
  if (policy == SCHED_RR || policy == SCHED_FIFO) return kRealtimePriorityClass;
  if (policy == SCHED_IDLE || policy == SCHED_BATCH) return kIdlePriorityClass;
  errno = 0;
  int nice_value = ::getpriority(PRIO_PROCESS, 0);
  if (errno != 0) return kNormalPriorityClass;
  if (nice_value > 0) return kIdlePriorityClass;
  if (nice_value < 0) return kHighPriorityClass;
  return kNormalPriorityClass;
}

}  // namespace qv::gui
