// Loading the settings from a large INI file: one read and parse per load (TSettingsRecord, as
// the window and the command line load), next to looking every key up in the whole text again.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "settings/ini_file.h"
#include "settings/settings_record.h"

namespace {

// A file of 10 MB of blank lines with the settings' section at its end.
class TLargeIni {
 public:
  TLargeIni() {
    char pattern[] = "/tmp/qvbench-ini-XXXXXX";
    int fd = ::mkstemp(pattern);
    ::close(fd);
    path_ = pattern;
    content_ = std::string(10 << 20, '\n') + "[bench]\nJPEGQL=70\nPNGCL=3\n";
    std::ofstream(path_, std::ios::binary).write(content_.data(), content_.size());
  }
  ~TLargeIni() { ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }
  const std::string& Content() const { return content_; }

 private:
  std::string path_;
  std::string content_;
};

const TLargeIni& LargeIni() {
  static TLargeIni ini;
  return ini;
}

void BM_LoadSettingsRecord(benchmark::State& state) {
  for (auto _ : state) {
    qv::TSettingsRecord record;
    record.LoadFromIni(LargeIni().Path(), "bench");
    benchmark::DoNotOptimize(record.Number(qv::TSetting::kJPEGQL));
  }
}
BENCHMARK(BM_LoadSettingsRecord)->Unit(benchmark::kMillisecond);

// The cost per key of scanning the whole text, as a load paid it for each of its keys.
void BM_LookupOneKeyInTheWholeText(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(qv::IniLookup(LargeIni().Content(), "bench", "PNGCL"));
}
BENCHMARK(BM_LookupOneKeyInTheWholeText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
