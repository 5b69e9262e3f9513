// The inputs of a drop that converting it would replace by their own conversions.
#pragma once

#include <string>
#include <vector>

#include "app/drop_names.h"

namespace qv {

class IJobSettings;

// The files among names whose output, by settings, is the file itself: the output goes beside
// the input (or into a folder that is the input's) with the input's own extension while
// overwriting is on, so the original is replaced by its conversion. Each as OutputKey gives it,
// in list order, once. A PDF drop and a name pattern (which never takes an input's name) replace
// none; neither do names that are no regular file or whose output cannot be named.
std::vector<std::string> ReplacedOriginals(const std::vector<TDropName>& names,
                                           const IJobSettings& settings);

}  // namespace qv
