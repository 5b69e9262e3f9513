// The conversion job: one input file to one output file or one PDF page.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/drop_names.h"
#include "app/job_options.h"
#include "colour/icc_profile.h"
#include "runtime/translation.h"
#include "runtime/work_context.h"

namespace qv {

class IJobHost;
class IJobSettings;
class TColourTransforms;
class TPReport;
class TSafeFileStream;
struct TPdfPagePicture;

// The reader-selection text.
inline constexpr char kReaderExtensions[] = ".bmp.png.jpg.jpeg.pdf";

// Target sizes of TargetRes 2 to 9 (0 is no resize, 1 the primary display).
inline constexpr int kTargetWidths[10] = {0, 0, 96, 640, 800, 1024, 1152, 1280, 1280, 1600};
inline constexpr int kTargetHeights[10] = {0, 0, 96, 480, 600, 768, 864, 960, 1024, 1200};

// The resize-failure message box.
inline constexpr char kResizeErrorText[] =
    N_("The target image size is too large.\r\nSorry, the image cannot be resized.");
inline constexpr char kResizeErrorCaption[] = N_("Error");

// The refusal of writing into a folder without a folder: the two settings' keys, in the format.
// TRANSLATORS: the output place's key and the folder's key (OutputMode, DstDir).
inline constexpr char kNoOutputFolderText[] =
    N_("No output folder is set: writing into a folder (%s 1) needs %s");

// The extension of a multi-picture file (stereo cameras): a JPEG with further pictures after its
// end. It selects the JPEG reader, which takes the first picture.
inline constexpr char kMultiPictureExtension[] = ".mpo";

// Position of a file's extension in kReaderExtensions (1-based, 0 when empty or absent):
// 1 BMP, 5 PNG, 9 and 13 JPEG, anything else the plug-in host (see ReaderOf). A multi-picture
// file's extension counts as ".jpg".
int ReaderPosition(const std::string& file_name);

// The folder an output goes to: beside the input, or DstDir with "/" followed by subfolder (the
// place of a file found in a dropped folder, see TDropName; an empty DstDir throws Exception
// kNoOutputFolderText).
std::string OutputFolder(const std::string& file_name, TOutputPlace place,
                         const std::string& dst_dir, const std::string& subfolder = {});

// The output path for a file: folder plus the name with the format's extension.
std::string OutputPath(const std::string& file_name, TOutputPlace place, const std::string& dst_dir,
                       TOutputFormat format, const std::string& subfolder = {});

// One name for one file, whatever way the path spells it (relative, "//", "..", a linked folder).
std::string OutputKey(const std::string& path);

// The warning given for a JPEG that the library completed only by working around damage.
inline constexpr char kIncompletePictureWarning[] = N_("the picture may be incomplete");

// The warning given when a kept EXIF block cannot go into the output.
// TRANSLATORS: the reason the block is left out.
inline constexpr char kExifLeftOutWarning[] = N_("EXIF data left out: %s");

// What ConvertFile did with a file that it did not fail on.
enum class TJobOutcome {
  kConverted,     // written (or added as a PDF page)
  kOutputExists,  // passed over: the output file exists and overwriting is off
  kNoReader,      // passed over: no plug-in took a file that no built-in reader reads
};

class TConversionJob {
 public:
  TConversionJob(const IJobSettings& settings, IJobHost& host);
  ~TConversionJob();

  // Converts one file. A resize failure is reported through the host and absorbed (the file is
  // written at its own size, and Warnings() holds the resize message); every other failure
  // passes to the caller. Warnings about the converted picture go to the host and are kept in
  // Warnings() until the next call.
  TJobOutcome ConvertFile(const std::string& file_name);
  // Converts name index (from 0) of a drop: its output goes into its subfolder below DstDir, and
  // with a name pattern the drop's names are given out in list order (see EndTurn).
  TJobOutcome ConvertFile(const TDropName& name, int index);
  // Name index of the drop has been handled (converted, passed over or failed) or will not be:
  // with a name pattern, the names after it may take their output names now. Jobs that share
  // the drop's outputs (ShareDropOutputs) take the names in list order, whatever their threads.
  void EndTurn(int index) const;

  // The memory converting the file is expected to hold at its peak (ConversionPeak of the size
  // its header declares and the target size of the settings), read before it is converted;
  // nothing when the file declares no size that can be read beforehand (a plug-in that does not
  // tell, no reader, no file).
  std::optional<std::uint64_t> ExpectedPeak(const std::string& file_name);

  // The warnings given for the file of the last ConvertFile call.
  const std::vector<std::string>& Warnings() const { return warnings_; }
  // The output file the last ConvertFile call wrote; empty when it wrote none (a PDF page).
  const std::string& Output() const { return output_; }

  // True while a PDF report is open for the current drop; pages go to report.
  bool PdfMode() const { return pdf_mode_; }
  void SetPdfMode(bool pdf_mode, TPReport* report) {
    pdf_mode_ = pdf_mode;
    report_ = report;
    pages_added_ = 0;
  }
  // Pages added since SetPdfMode(true, ...).
  int PagesAdded() const { return pages_added_; }
  // Starts a drop: from here on an output written twice is reported (see
  // IJobHost::SameOutputTwice); outputs written before no longer count, nor inputs kept.
  void BeginDrop();
  // For the rest of the drop, a file whose output would be one of these files themselves (paths
  // as OutputKey gives them) is passed over as though its output existed with overwriting off:
  // the user chose to keep these originals. Shared with the jobs that share the drop's outputs.
  void KeepInputs(const std::vector<std::string>& keys);
  // Pages go to sink instead of a report (PDF mode without a report): a job converting files on
  // another thread hands them over, to be printed in list order.
  void SetPdfPageSink(std::function<void(TPdfPagePicture)> sink);
  // An output file written but not put in place: the file, and for RecordDropOutput its key
  // (OutputKey of its path; empty for a name the pattern gave, recorded when it was given) and
  // the input it was converted from.
  struct THeldOutput {
    std::unique_ptr<TSafeFileStream> file;
    std::string key;
    std::string input;
  };
  // Output files are handed to hold, written but not yet synced, instead of being put in place,
  // which the holder does (Commit, which syncs first, then RecordDropOutput) or not: a job
  // converting files on another thread leaves each output to be put in place in list order,
  // after the files before it, and does not wait for the disk meanwhile.
  void SetOutputHold(std::function<void(THeldOutput)> hold);
  // The spare threads that may share the long loops of the files converted from now on (the
  // resize while reading, the whole-picture resize, JPEG compression); by default the job's
  // thread works alone.
  void SetWorkContext(const TWorkContext& work) { work_ = work; }
  // Records that input's output went in place under key, an output of the drop from now on (see
  // IJobHost::SameOutputTwice). Only an output that is in place counts; an empty key is none.
  void RecordDropOutput(const std::string& key, const std::string& input);
  // Shares the outputs written in the drop with other, which must outlive the sharing: jobs that
  // convert files of one drop at once then see each other's outputs (calls may come from several
  // threads). They share the drop's colour transforms too, each built once.
  void ShareDropOutputs(const TConversionJob& other);
  // The colour profiles and transforms of the drop (cleared when a drop begins).
  TColourTransforms& ColourTransforms() const { return *colour_transforms_; }

 private:
  struct TPicture;
  // Reads a file of a reader other than the JPEG one (the job reads JPEGs itself).
  void ReadImage(const std::string& file_name, TOutputFormat format, TPicture& picture);
  // True when the page embeds the input JPEG's own bytes.
  bool PdfKeepsInputJpeg(TReader reader, bool resized) const;
  // True when a JPEG input becomes a page embedding its bytes and no step needs its pixels.
  bool PageNeedsNoPixels(TOutputFormat format, bool resized, int orientation) const;
  // True when the picture's page embeds the input JPEG's bytes, turned by the page when needed.
  bool PageEmbedsInput(const TPicture& picture) const;
  // Decides what is done with the picture's profile (picture.profile), whose pixels are read as
  // pixel_space; warns when it is ignored.
  void PlanPictureColour(const std::string& file_name, TOutputFormat format,
                         TColourSpace pixel_space, TPicture& picture);
  // Forgets the picture's profile (it is treated as untagged) and warns why.
  // (reason is taken by value: it may be the plan's own text, which this clears.)
  void IgnoreProfile(const std::string& file_name, TPicture& picture, std::string reason);
  // Converts the picture's pixels to sRGB when its plan asks and that is not done yet.
  void ConvertColour(const std::string& file_name, TPicture& picture);
  // True when a page has somewhere to go (the report or the sink).
  bool TakesPages() const { return pdf_mode_ && (report_ != nullptr || page_sink_ != nullptr); }
  // Hands a page to the sink, or prints it into the report.
  void AddPage(TPdfPagePicture picture);
  void Warn(const std::string& file_name, const std::string& text);
  // The size a picture of width x height is resized to (fitted inside the target when the shape
  // is kept); none when it is not resized.
  std::optional<std::pair<int, int>> ResizeTarget(int image_width, int image_height);
  // Resizes to target, reporting a failure; the picture keeps its size when that fails.
  void Resize(class TBitmap& image, std::pair<int, int> target);
  // The resize a width x height picture goes through while it is read, or nullptr when it is
  // read whole (no resize, colours converted before an enlargement, a resize that would fail).
  // Sets the picture's target when the target is known. fourth_byte: TStreamedResize::For's.
  std::unique_ptr<class TStreamedResize> ChooseStreamedResize(int width, int height,
                                                              bool fourth_byte, TPicture& picture);
  // The output path of a name for the picture (nullptr: the pattern needs no picture), taken in
  // the name's turn: a name another file of the drop took, or the input's own, is numbered
  // (" (2)", ...) and the user is told. Empty when the file is passed over (the output exists
  // and overwriting is off).
  std::string TakeNamedOutput(const TDropName& name, int index, const class TNamePattern& pattern,
                              const TPicture* picture);
  // True when the file is passed over: its output exists (or another input of the drop wrote
  // it) and overwriting is off.
  bool OutputPassedOver(const std::string& file_name, const std::string& output_path,
                        const std::string& output_key);
  // Reads a JPEG input into picture, resized while decoding where it can be; true when the input
  // became a PDF page as it is, with nothing left to do.
  bool ReadJpeg(const std::string& file_name, TOutputFormat format, TPicture& picture);
  // Reads a file through the plug-ins into picture, with the metadata a photo option needs:
  // turned upright by its EXIF orientation where the file states no orientation of its own, and
  // its colour profile planned for.
  void ReadPluginPicture(const std::string& file_name, TOutputFormat format, TPicture& picture);
  // The metadata an output carries (none for BMP and PDF, or when nothing is kept);
  // warns about an EXIF block that cannot go.
  std::optional<struct TJpegMetadata> KeptMetadata(const TPicture& picture, TOutputFormat format,
                                                   const std::string& file_name);
  // Writes the picture's output file, or adds its page. False when an output file appeared at
  // the path meanwhile and overwriting is off: nothing is put in place then.
  bool Write(const TPicture& picture, const std::string& file_name, const std::string& output_path,
             const std::string& output_key);

  const IJobSettings& settings_;
  IJobHost& host_;
  bool pdf_mode_ = false;
  TPReport* report_ = nullptr;
  int pages_added_ = 0;
  std::vector<std::string> warnings_;
  std::string output_;
  std::function<void(TPdfPagePicture)> page_sink_;
  std::function<void(THeldOutput)> output_hold_;
  TWorkContext work_;
  // Output files written in this drop (one name per file) and the input each came from; with a
  // name pattern, the turns of the drop's names and the name each was given.
  struct TDropOutputs {
    std::mutex mutex;
    std::map<std::string, std::string> inputs;
    std::set<std::string> kept;  // KeepInputs
    bool in_drop = false;
    std::condition_variable turn_ended;
    std::vector<bool> turns_ended;
    int next_turn = 0;  // the first name whose turn has not ended
    std::map<int, std::string> named;
  };
  std::shared_ptr<TDropOutputs> drop_outputs_ = std::make_shared<TDropOutputs>();
  std::shared_ptr<TColourTransforms> colour_transforms_;
};

}  // namespace qv
