// What converts the names of one drop for the batch run: in place, one after the other, or on
// worker threads several at once. Either way the batch run takes the results in list order and
// tells the user the same things in the same order.
#pragma once

#include <mutex>

#include "app/file_result.h"

namespace qv {

class IJobSettings;

class IDropRunner {
 public:
  virtual ~IDropRunner() = default;

  // The settings name index is (or was) converted with, read after the events before it were
  // processed: the batch run decides with them whether the name is announced.
  virtual const IJobSettings& SettingsFor(int index) = 0;
  // Converts name index, or waits for its conversion, and returns what became of it. Called for
  // each index once, in list order.
  virtual TFileResult Finish(int index) = 0;
  // Held by the batch run while it calls its hosts, so that nothing else calls them meanwhile.
  virtual std::unique_lock<std::mutex> LockHosts() = 0;
};

}  // namespace qv
