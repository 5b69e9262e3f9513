// What became of one name of a drop.
#include "app/file_result.h"

#include <sys/stat.h>

#include <chrono>
#include <new>

#include "app/conversion_job.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/job_settings.h"

namespace qv {

const char* PassReasonText(TPassReason reason) {
  switch (reason) {
    case TPassReason::kOutputExists: return Tr("output exists");
    case TPassReason::kNotARegularFile: return Tr("not a regular file");
    case TPassReason::kMissing: return Tr("no such file");
    case TPassReason::kNoReader: return Tr("no reader for it");
    case TPassReason::kNoPdfFile: return Tr("no PDF file chosen");
    case TPassReason::kNotAPicture: return Tr("not pictures");
    case TPassReason::kNone: break;
  }
  return "";
}

namespace {

TFileResult PassedOver(const std::string& file_name, TPassReason reason) {
  TFileResult result;
  result.file_name = file_name;
  result.status = TFileStatus::kPassedOver;
  result.reason = reason;
  return result;
}

}  // namespace

void SetFailure(TFileResult& result, std::exception_ptr error) {
  result.status = TFileStatus::kFailed;
  result.warnings.clear();
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    result.error = error;
    result.message = Tr(kAbandonedMessage);
    result.silent = true;
  } catch (const std::bad_alloc&) {
    // Memory that could not be had anywhere in the conversion: the system's message for it,
    // never the library's text.
    EOutOfMemory out_of_memory;
    result.error = std::make_exception_ptr(out_of_memory);
    result.message = ErrorBoxText(out_of_memory.Message());
  } catch (const std::exception& failure) {
    result.error = error;
    result.message = ErrorBoxText(failure.what());
  } catch (...) {
    result.error = error;
    result.message = Tr("unknown failure");
  }
}

TFileResult ConvertDropName(TConversionJob& job, const IJobSettings& settings,
                            const std::string& file_name) {
  return ConvertDropName(job, settings, TDropName{.path = file_name}, -1);
}

namespace {

TFileResult ConvertName(TConversionJob& job, const IJobSettings& settings, const TDropName& name,
                        int index) {
  // Whatever becomes of the name, the names after it may take their output names.
  struct TTurnEnd {
    const TConversionJob& job;
    int index;
    ~TTurnEnd() { job.EndTurn(index); }
  } turn_end{job, index};
  const std::string& file_name = name.path;
  if (!name.error.empty()) {
    // A folder of the drop that could not be read.
    TFileResult result;
    result.file_name = file_name;
    SetFailure(result, std::make_exception_ptr(
                           Exception(FormatText(Tr(kUnreadableFolderText), {name.error}))));
    return result;
  }
  if (name.not_a_file) return PassedOver(file_name, TPassReason::kNotAPicture);
  if (OutputFormatOf(settings.Choice(TSetting::kFileFormat)) == TOutputFormat::kPdf &&
      !job.PdfMode())
    return PassedOver(file_name, TPassReason::kNoPdfFile);
  struct stat info;
  if (::stat(file_name.c_str(), &info) != 0) return PassedOver(file_name, TPassReason::kMissing);
  if (!S_ISREG(info.st_mode)) return PassedOver(file_name, TPassReason::kNotARegularFile);

  TFileResult result;
  result.file_name = file_name;
  try {
    switch (job.ConvertFile(name, index)) {
      case TJobOutcome::kConverted:
        result.warnings = job.Warnings();
        result.output = job.Output();
        break;
      case TJobOutcome::kOutputExists: return PassedOver(file_name, TPassReason::kOutputExists);
      case TJobOutcome::kNoReader:
        // A file found in a dropped folder that no reader takes is no picture: counted, not told.
        return PassedOver(file_name,
                          name.listed ? TPassReason::kNotAPicture : TPassReason::kNoReader);
    }
  } catch (...) {
    SetFailure(result, std::current_exception());
  }
  return result;
}

}  // namespace

TFileResult ConvertDropName(TConversionJob& job, const IJobSettings& settings,
                            const TDropName& name, int index) {
  const auto start = std::chrono::steady_clock::now();
  TFileResult result = ConvertName(job, settings, name, index);
  result.elapsed = std::chrono::steady_clock::now() - start;
  return result;
}

}  // namespace qv
