// Converting the files of one drop several at a time, with the results of converting them one
// after the other.
#pragma once

#include <string>
#include <vector>

namespace qv {

class IBatchHost;
class IJobHost;
class IJobSettings;
class TPReport;

// For each file of a drop, the earlier files it must wait for: those that write what it reads
// or writes, and those that read what it writes (paths compared after resolving links and
// dots). A PDF drop writes no image file, so its files wait for none.
std::vector<std::vector<int>> DropDependencies(const std::vector<std::string>& files,
                                               const IJobSettings& settings, bool pdf_mode);

// Converts files with up to jobs files at once. Files start in list order, each once the files
// it depends on are done, so pass-over and overwrite rules see them in list order; PDF pages go
// to report in list order. After a failure no further file starts, every file before it is
// converted, and the first failure in list order is rethrown once all work has stopped. Calls
// to the hosts are made one at a time.
void ConvertInParallel(const std::vector<std::string>& files, int jobs,
                       const IJobSettings& settings, IJobHost& job_host, IBatchHost& batch_host,
                       bool pdf_mode, TPReport* report);

}  // namespace qv
