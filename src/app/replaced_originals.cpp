// The inputs of a drop that converting it would replace by their own conversions.
#include "app/replaced_originals.h"

#include <sys/stat.h>

#include <exception>
#include <set>

#include "app/conversion_job.h"
#include "app/job_options.h"
#include "app/name_pattern.h"
#include "settings/job_settings.h"

namespace qv {

namespace {

bool RegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> ReplacedOriginals(const std::vector<TDropName>& names,
                                           const IJobSettings& settings) {
  std::vector<std::string> originals;
  const TOutputFormat format = OutputFormatOf(settings.Choice(TSetting::kFileFormat));
  if (settings.Choice(TSetting::kOverWrite) == 0 || format == TOutputFormat::kPdf) return originals;
  try {
    if (!TNamePattern(settings.Text(TSetting::kNamePattern)).Empty()) return originals;
  } catch (const std::exception&) {
    return originals;  // every name fails on the pattern before anything is written
  }
  const TOutputPlace place = OutputPlaceOf(settings.Choice(TSetting::kOutputMode));
  const std::string dst_dir = settings.Text(TSetting::kDstDir);
  std::set<std::string> seen;
  for (const TDropName& name : names) {
    if (!name.error.empty() || name.not_a_file || !RegularFile(name.path)) continue;
    std::string output;
    try {
      output = OutputKey(OutputPath(name.path, place, dst_dir, format, name.subfolder));
    } catch (const std::exception&) {
      continue;  // no output folder: the name fails without writing anything
    }
    if (output == OutputKey(name.path) && seen.insert(output).second) originals.push_back(output);
  }
  return originals;
}

}  // namespace qv
