// What became of one name of a drop: converted, passed over (and why) or failed (and with what).
// Every runner of a drop, the batch run and any parallel one, converts a name through
// ConvertDropName and hands the result, in list order, to its host (IBatchHost::FileFinished)
// and to a TBatchSummary, so the user is told the same thing however the files were converted.
#pragma once

#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "app/drop_names.h"
#include "runtime/translation.h"

namespace qv {

class IJobSettings;
class TConversionJob;

enum class TFileStatus { kConverted, kPassedOver, kFailed };

// Why a name was passed over.
enum class TPassReason {
  kNone,             // not passed over
  kOutputExists,     // its output file exists and overwriting is off
  kNotARegularFile,  // a folder, a pipe, a device
  kMissing,          // nothing of that name exists
  kNoReader,         // no built-in reader reads it and no plug-in took it
  kNoPdfFile,        // the format is PDF and this drop has no PDF file (the question was cancelled)
  kNotAPicture,      // found in a dropped folder, and no picture (no reader takes it, no file)
};
inline constexpr int kPassReasonCount = 7;

// The reason as the command line's summary and the window's note name it.
const char* PassReasonText(TPassReason reason);

struct TFileResult {
  std::string file_name;
  TFileStatus status = TFileStatus::kConverted;
  TPassReason reason = TPassReason::kNone;
  // kFailed: the failure as raised (rethrow it to end the drop) and its message as the error
  // box shows it. A silent abort (a plug-in that took the file and could not decode it) has the
  // message kAbandonedMessage and silent set.
  std::exception_ptr error;
  std::string message;
  bool silent = false;
  // Reservations about a converted file ("the picture may be incomplete ..."), as the job gave
  // them to its host.
  std::vector<std::string> warnings;
  // kConverted: the file written; for a page, the drop's PDF file (the batch run names it).
  std::string output;
  // How long the name took to handle: read, resized, written (or found to be passed over).
  std::chrono::nanoseconds elapsed{0};
};

inline constexpr char kAbandonedMessage[] =
    N_("abandoned: the plug-in that accepted it could not decode it");

// Converts one name of a drop with job, as the batch run does between two files: a name that is
// no regular file is passed over, so is every name while the format is PDF and the drop has no
// PDF file. Every failure, the silent abort included, is caught into the result.
TFileResult ConvertDropName(TConversionJob& job, const IJobSettings& settings,
                            const std::string& file_name);
// The same for name index (from 0) of a drop: a folder of the drop that could not be read fails,
// a file found in a dropped folder that is no picture is passed over as kNotAPicture. The name's
// turn ends (TConversionJob::EndTurn) on every path.
TFileResult ConvertDropName(TConversionJob& job, const IJobSettings& settings,
                            const TDropName& name, int index);

// The failure of a folder of a drop that could not be read (the result names the folder): the
// system's reason.
inline constexpr char kUnreadableFolderText[] = N_("This folder cannot be read: %s");

// Makes result the failure error as ConvertDropName reports it (a page that could not be added
// to the PDF file later fails its file the same way).
void SetFailure(TFileResult& result, std::exception_ptr error);

}  // namespace qv
