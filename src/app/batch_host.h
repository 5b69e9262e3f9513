// What the batch run asks of its host: progress bar, label, event pumping and the PDF question.
#pragma once

#include <exception>
#include <optional>
#include <string>

namespace qv {

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
  // Reports the failure of a drop that was queued behind another (the first drop's failure
  // travels to the caller of FileDrop instead). A silent abort reports nothing.
  virtual void ReportError(std::exception_ptr error) = 0;
  // Called before each file is converted (index from 0, of count).
  virtual void FileStarting(int /*index*/, int /*count*/, const std::string& /*file_name*/) {}
};

}  // namespace qv
