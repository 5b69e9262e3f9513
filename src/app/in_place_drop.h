// The names of a drop converted one after the other, each when the batch run asks for it.
#pragma once

#include <mutex>

#include "app/drop_names.h"
#include "app/drop_runner.h"
#include "app/settings_snapshot.h"

namespace qv {

class TConversionJob;

// Each name is converted when the batch run asks for its result (which it does through the host's
// RunFile), with the settings as they stand after the events before it (a change made in the
// settings dialog during a drop applies from the next name).
class TInPlaceDrop : public IDropRunner {
 public:
  // The job reads snapshot, which this runner fills from settings before each name; everything
  // must outlive the runner.
  TInPlaceDrop(TDropNames& names, const IJobSettings& settings, TSettingsSnapshot& snapshot,
               TConversionJob& job)
      : names_(names), settings_(settings), snapshot_(snapshot), job_(job) {}

  const IJobSettings& SettingsFor(int index) override;
  TFileResult Finish(int index) override;
  // Nothing else calls the hosts.
  std::unique_lock<std::mutex> LockHosts() override { return {}; }

 private:
  TDropNames& names_;
  const IJobSettings& settings_;
  TSettingsSnapshot& snapshot_;
  TConversionJob& job_;
};

}  // namespace qv
