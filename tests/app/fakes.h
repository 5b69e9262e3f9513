// Test doubles of the job's and the batch's hosts and settings.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/batch_host.h"
#include "app/batch_summary.h"
#include "app/file_result.h"
#include "app/job_host.h"
#include "imaging/bitmap.h"
#include "settings/job_settings.h"

namespace qv::testing {

struct FakeSettings : IJobSettings {
  int output_mode = 0;
  std::string dst_dir;
  int over_write = 0;
  int file_format = 0;
  int target_res = 0;
  int resample_mode = 0;
  bool sepia = false;
  bool reduce256 = false;
  int jpeg_quality = 85;
  int png_level = 9;
  bool auto_orient = false;
  bool keep_metadata = false;
  bool keep_aspect = false;
  bool custom_size = false;
  int custom_width = 1024;
  int custom_height = 768;
  int color_profile = 0;
  bool fast_shrink = false;
  int png_filters = 0;
  int webp_quality = 80;
  bool webp_lossless = false;
  int avif_quality = 60;
  int avif_speed = 6;
  bool recurse = false;
  std::string name_pattern;
  bool keep_date = false;
  bool include_hidden = false;
  std::string memory_budget;
  bool keep_going = false;
  int jobs = 0;
  int replace_originals = 0;
  bool result_list_always = false;

  std::string Stored(TSetting setting) const override {
    auto text = [](auto value) { return std::to_string(static_cast<int>(value)); };
    switch (setting) {
      case TSetting::kOutputMode: return text(output_mode);
      case TSetting::kDstDir: return dst_dir;
      case TSetting::kOverWrite: return text(over_write);
      case TSetting::kFileFormat: return text(file_format);
      case TSetting::kTargetRes: return text(target_res);
      case TSetting::kResampleMode: return text(resample_mode);
      case TSetting::kSepiaMode: return text(sepia);
      case TSetting::kReduce256ColorMode: return text(reduce256);
      case TSetting::kJPEGQL: return text(jpeg_quality);
      case TSetting::kPNGCL: return text(png_level);
      case TSetting::kAutoOrient: return text(auto_orient);
      case TSetting::kKeepMetadata: return text(keep_metadata);
      case TSetting::kKeepAspect: return text(keep_aspect);
      case TSetting::kCustomSize: return text(custom_size);
      case TSetting::kCustomWidth: return text(custom_width);
      case TSetting::kCustomHeight: return text(custom_height);
      case TSetting::kColorProfile: return text(color_profile);
      case TSetting::kFastShrink: return text(fast_shrink);
      case TSetting::kPNGFilters: return text(png_filters);
      case TSetting::kWebPQuality: return text(webp_quality);
      case TSetting::kWebPLossless: return text(webp_lossless);
      case TSetting::kAVIFQuality: return text(avif_quality);
      case TSetting::kAVIFSpeed: return text(avif_speed);
      case TSetting::kRecurse: return text(recurse);
      case TSetting::kNamePattern: return name_pattern;
      case TSetting::kKeepDate: return text(keep_date);
      case TSetting::kIncludeHidden: return text(include_hidden);
      case TSetting::kMemoryBudget: return memory_budget;
      case TSetting::kKeepGoing: return text(keep_going);
      case TSetting::kJobs: return text(jobs);
      case TSetting::kReplaceOriginals: return text(replace_originals);
      case TSetting::kResultListAlways: return text(result_list_always);
      case TSetting::kCount: break;
    }
    return RowOf(setting).default_value;
  }
};

struct FakeHost : IJobHost, IBatchHost {
  TCursor cursor = TCursor::crDefault;
  std::vector<std::string> messages;
  std::vector<std::string> plugin_reads;
  std::vector<std::string> started;
  std::vector<std::string> errors;
  std::string caption = "Drop Files Here.";
  bool progress_visible = false;
  int progress_max = -1;
  int progress_position = -1;
  std::optional<std::string> pdf_answer;
  int pdf_questions = 0;
  std::function<void()> on_process_messages;
  std::vector<std::string> warnings;  // "file|text"
  std::vector<TFileResult> finished;
  std::vector<int> finished_indexes;
  std::vector<TBatchSummary> drops;
  std::vector<int> positions;  // the progress position at each event processing
  bool stop = false;
  // What the host is told of the drops, one line each: "queued N", "starting", "listed I NAME",
  // "failed after all I: MESSAGE", "not started N" (NAME: the file name without its folder).
  std::vector<std::string> told;
  bool asks_replace = false;
  bool replace_answer = true;
  std::vector<int> replace_questions;  // the count each question named

  TCursor Cursor() const override { return cursor; }
  void SetCursor(TCursor c) override { cursor = c; }
  void ShowErrorMessage(const std::string& text, const std::string& title) override {
    messages.push_back(title + "|" + text);
  }
  std::pair<int, int> PrimaryDisplaySize() override { return {320, 200}; }
  void ReadByPlugins(const std::string& file_name, TBitmap&) override {
    plugin_reads.push_back(file_name);
  }

  void SetProgressMax(int m) override { progress_max = m; }
  void SetProgressPosition(int p) override { progress_position = p; }
  void FileWarning(const std::string& file_name, const std::string& text) override {
    warnings.push_back(file_name + "|" + text);
  }
  void FileFinished(int index, int, const TFileResult& result) override {
    finished_indexes.push_back(index);
    finished.push_back(result);
  }
  void DropFinished(const TBatchSummary& summary) override { drops.push_back(summary); }
  void DropQueued(const std::vector<std::string>& files) override {
    told.push_back("queued " + std::to_string(files.size()));
  }
  void DropStarting() override { told.push_back("starting"); }
  void FileListed(int index, const std::string& file_name) override {
    told.push_back("listed " + std::to_string(index) + " " +
                   file_name.substr(file_name.rfind('/') + 1));
  }
  void DropNotStarted(const std::vector<std::string>& files) override {
    told.push_back("not started " + std::to_string(files.size()));
  }
  void FileFailedAfterAll(int index, const TFileResult& result) override {
    told.push_back("failed after all " + std::to_string(index) + ": " + result.message);
  }
  bool AsksBeforeReplacingOriginals() const override { return asks_replace; }
  bool ReplaceOriginals(int count) override {
    replace_questions.push_back(count);
    return replace_answer;
  }
  bool StopRequested() const override { return stop; }
  void SetProgressVisible(bool v) override { progress_visible = v; }
  std::string Caption() const override { return caption; }
  void SetCaption(const std::string& c) override { caption = c; }
  void ProcessMessages() override {
    positions.push_back(progress_position);
    if (on_process_messages) on_process_messages();
  }
  std::optional<std::string> AskPdfFileName() override {
    ++pdf_questions;
    return pdf_answer;
  }
  void ReportError(std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.push_back(e.what());
    }
  }
  void FileStarting(int, int, const std::string& file_name) override {
    started.push_back(file_name);
  }
};

}  // namespace qv::testing
