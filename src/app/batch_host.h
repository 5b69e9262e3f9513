// What the batch run asks of its host: progress bar, label, event pumping and the PDF question.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
  // A drop arrived while another runs: it is started after the drops before it (DropStarting) or,
  // when a stop ends the run first, never (DropNotStarted).
  virtual void DropQueued(const std::vector<std::string>& /*files*/) {}
  // A drop begins (the first of a run, or the oldest queued one): the names told from here on
  // (FileListed, FileStarting, FileFinished) are its names, counted from 0.
  virtual void DropStarting() {}
  // Name index of the running drop is known: told once per name, in list order, before anything
  // else is told of it (the dropped names as the drop begins, the files in a dropped folder as
  // the walk finds them).
  virtual void FileListed(int /*index*/, const std::string& /*file_name*/) {}
  // A queued drop that a stop left unstarted (its names are counted as not reached).
  virtual void DropNotStarted(const std::vector<std::string>& /*files*/) {}
  // Whether a drop that would replace some of its inputs by their own conversions asks
  // ReplaceOriginals first. A host that does not ask replaces them as the settings say.
  virtual bool AsksBeforeReplacingOriginals() const { return false; }
  // Asked once per drop, before anything is converted, when count of its inputs would be
  // replaced by their own conversions (overwriting on, the output beside the input with its
  // extension): true to replace them, false to pass them over as though their output existed.
  virtual bool ReplaceOriginals(int /*count*/) { return true; }
  // Called before each file is converted (index from 0, of count).
  virtual void FileStarting(int /*index*/, int /*count*/, const std::string& /*file_name*/) {}
  // Called for every name of a drop once it is done with, in list order: converted, passed over
  // (names that are no file included) or failed. A failure that ends the drop is told here first
  // and then raised.
  virtual void FileFinished(int /*index*/, int /*count*/, const TFileResult& /*result*/) {}
  // Name index, told as converted into a page of the drop's PDF file, failed after all: the PDF
  // file could not be written (result holds that failure). The drop's counts say so too.
  virtual void FileFailedAfterAll(int /*index*/, const TFileResult& /*result*/) {}
  // Called at the end of each drop, also of one that a failure ended, with its counts.
  virtual void DropFinished(const TBatchSummary& /*summary*/) {}
  // Runs the conversion of one file, or a wait for other threads (the walk of a dropped folder,
  // the workers converting files at once, their end); convert does all of it and throws nothing.
  // A host with a window runs it on a worker thread and goes on answering its events meanwhile,
  // so that the window repaints and drags onto it are answered (a drop is then queued); the
  // job's calls to its host then come from that thread. The settings do not change under it: the
  // file is converted with the settings as they stood after the last ProcessMessages.
  virtual void RunFile(const std::function<void()>& convert) { convert(); }
  // True once the user asked the program to end: the running drop stops before its next file,
  // still ends its PDF with the pages made so far, and the drops queued behind it are not
  // started (TBatchRun::RequestStop does the same for one run). Asked after each
  // ProcessMessages.
  virtual bool StopRequested() const { return false; }
};

}  // namespace qv
