// What the batch run asks of its host: progress bar, label, event pumping and the PDF question.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace qv {

class TBatchSummary;
struct TFileResult;

class IBatchHost {
 public:
  virtual ~IBatchHost() = default;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Processes every pending event (repaints, menu use, settings edits, further drops).
  virtual void ProcessMessages() = 0;
  // Asks for the PDF file of this drop; nullopt when the user cancels.
  virtual std::optional<std::string> AskPdfFileName() = 0;
  // Called with a chosen PDF file that is no input of the drop and either missing or a PDF, before
  // anything is converted; throws to refuse replacing it (a save dialog has asked already).
  virtual void CheckPdfReplace(const std::string& /*pdf_file*/) {}
  // A PDF drop ended on a failure after pages_written pages: the file holds them.
  virtual void PartialPdfWritten(const std::string& /*pdf_file*/, int /*pages_written*/) {}
  // Reports the failure of a drop that was queued behind another (the first drop's failure
  // travels to the caller of FileDrop instead). A silent abort reports nothing.
  virtual void ReportError(std::exception_ptr error) = 0;
  // Called before each file is converted (index from 0, of count).
  virtual void FileStarting(int /*index*/, int /*count*/, const std::string& /*file_name*/) {}
  // Called for every name of a drop once it is done with, in list order: converted, passed over
  // (names that are no file included) or failed. A failure that ends the drop is told here first
  // and then raised.
  virtual void FileFinished(int /*index*/, int /*count*/, const TFileResult& /*result*/) {}
  // Called at the end of each drop, also of one that a failure ended, with its counts.
  virtual void DropFinished(const TBatchSummary& /*summary*/) {}
  // Runs the conversion of one file (convert does all of it and throws nothing). A host with a
  // window runs it on a worker thread and goes on answering its events meanwhile, so that the
  // window repaints and drags onto it are answered (a drop is then queued); the job's calls to
  // its host then come from that thread. The settings do not change under it: the file is
  // converted with the settings as they stood after the last ProcessMessages.
  virtual void RunFile(const std::function<void()>& convert) { convert(); }
  // True once the user asked the program to end: the running drop stops before its next file,
  // still ends its PDF with the pages made so far, and the drops queued behind it are not
  // started. Asked after each ProcessMessages.
  virtual bool StopRequested() const { return false; }
};

}  // namespace qv
