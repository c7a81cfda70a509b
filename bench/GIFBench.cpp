// GIF export (quantise, encode, write the file) of generated photo-like pictures of 1024 x 768 and
// 4000 x 3000 pixels, with the run-length scheme and with LZW, against ImageMagick's
// `convert in.bmp out.gif` and giflib's `gif2rgb -1 -s W H in.rgb > out.gif` on the same
// pictures; ends with a table of the times, their ratios and the file sizes.
//
// The tools are timed as whole commands, as a user would run them: process start, reading the
// picture (24-bit BMP for ImageMagick, raw red-green-blue bytes for gif2rgb), their own quantiser
// (ImageMagick's with dithering, its default; giflib's median cut) and LZW. Our export starts from
// the picture in memory. All write to the same folder ($SK_BENCH_DIR, default the temporary
// folder).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "imaging/BMPReader.h"
#include "imaging/BMPWriter.h"
#include "imaging/ByteStream.h"
#include "imaging/GIFReader.h"
#include "imaging/GIFWriter.h"
#include "platform/Files.h"

namespace {

struct TSize {
  int width;
  int height;
};
constexpr TSize kSizes[] = {{1024, 768}, {4000, 3000}};

std::string BenchDir() {
  const char* dir = std::getenv("SK_BENCH_DIR");
  return dir != nullptr && *dir != '\0' ? dir : sk::TempDirectory();
}

std::string Name(const TSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string BmpPath(const TSize& size) {
  return BenchDir() + "/sk_gifbench_" + Name(size) + ".bmp";
}

std::string RgbPath(const TSize& size) {
  return BenchDir() + "/sk_gifbench_" + Name(size) + ".rgb";
}

// The picture as raw bytes, red, green and blue for each pixel, rows from the top.
void WriteRawRgb(const std::string& path, const sk::TPicture& picture) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(picture.Width()) * picture.Height() * 3);
  for (int y = 0; y < picture.Height(); ++y) {
    const uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      bytes.insert(bytes.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
  }
  sk::TFile file = sk::TFile::Open(path, sk::FileMode::kCreate);
  sk::TFileSink sink(file);
  sink.Write(bytes);
  sink.Flush();
  file.Close();
}

// The pictures, made once, and their BMP files for ImageMagick and raw files for gif2rgb.
const sk::TPicture& Picture(int index) {
  static std::map<int, sk::TPicture> pictures;
  auto found = pictures.find(index);
  if (found == pictures.end()) {
    const TSize& size = kSizes[index];
    found =
        pictures.emplace(index, sk::bench::PhotoLike(size.width, size.height, 2024 + index)).first;
    sk::TFile file = sk::TFile::Open(BmpPath(size), sk::FileMode::kCreate);
    sk::TFileSink sink(file);
    sk::WriteBMP(sink, found->second);
    sink.Flush();
    file.Close();
    WriteRawRgb(RgbPath(size), found->second);
  }
  return found->second;
}

int64_t FileSize(const std::string& path) {
  return sk::TFile::Open(path, sk::FileMode::kRead).Size();
}

void BM_GifExport(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const bool use_lzw = state.range(1) != 0;
  const sk::TPicture& picture = Picture(index);
  const std::string path = BenchDir() + "/sk_gifbench_ours.gif";
  sk::TGIFWriteOptions options;
  options.use_lzw = use_lzw;
  for (auto _ : state) {
    sk::TFile file = sk::TFile::Open(path, sk::FileMode::kCreate);
    sk::TFileSink sink(file);
    sk::WriteGIF(sink, picture, options);
    sink.Flush();
    file.Close();
  }
  state.counters["file_bytes"] = static_cast<double>(FileSize(path));
  state.SetLabel(Name(kSizes[index]) + (use_lzw ? " LZW" : " run-length"));
  sk::DeleteFile(path);
}

void BM_ImageMagickConvert(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  Picture(index);
  const std::string bmp = BmpPath(kSizes[index]);
  const std::string gif = BenchDir() + "/sk_gifbench_magick.gif";
  const std::string command = "/usr/bin/convert '" + bmp + "' '" + gif + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("convert failed");
      break;
    }
  }
  state.counters["file_bytes"] = static_cast<double>(FileSize(gif));
  state.SetLabel(Name(kSizes[index]) + " convert");
  sk::DeleteFile(gif);
}

void BM_Gif2Rgb(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const TSize& size = kSizes[index];
  Picture(index);
  const std::string gif = BenchDir() + "/sk_gifbench_gif2rgb.gif";
  // Going from raw bytes to GIF, gif2rgb writes the file to its standard output (-o names only
  // the raw file it writes when going the other way).
  const std::string command = "/usr/bin/gif2rgb -1 -s " + std::to_string(size.width) + " " +
                              std::to_string(size.height) + " '" + RgbPath(size) + "' > '" + gif +
                              "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("gif2rgb failed");
      break;
    }
  }
  state.counters["file_bytes"] = static_cast<double>(FileSize(gif));
  state.SetLabel(Name(size) + " gif2rgb");
  sk::DeleteFile(gif);
}

BENCHMARK(BM_GifExport)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"size", "lzw"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_ImageMagickConvert)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"size"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_Gif2Rgb)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"size"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// Keeps each run's time and file size for the summary.
class TSummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct TResult {
    double milliseconds = 0;
    double file_bytes = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      TResult& result = results_[run.report_label];
      result.milliseconds = run.GetAdjustedRealTime();
      const auto bytes = run.counters.find("file_bytes");
      if (bytes != run.counters.end()) result.file_bytes = bytes->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintSummary() const {
    std::printf("\n%-10s %-11s %10s %14s %14s %12s\n", "picture", "encoder", "ms", "convert / ours",
                "ours / gif2rgb", "file bytes");
    for (const TSize& size : kSizes) {
      const std::string name = Name(size);
      const auto magick = results_.find(name + " convert");
      const auto giflib = results_.find(name + " gif2rgb");
      for (const char* encoder : {"run-length", "LZW", "convert", "gif2rgb"}) {
        const auto found = results_.find(name + " " + encoder);
        if (found == results_.end()) continue;
        const double ms = found->second.milliseconds;
        const double magick_ratio =
            magick != results_.end() && ms > 0 ? magick->second.milliseconds / ms : 0;
        const double giflib_ratio = giflib != results_.end() && giflib->second.milliseconds > 0
                                        ? ms / giflib->second.milliseconds
                                        : 0;
        std::printf("%-10s %-11s %10.1f %14.2f %14.2f %12.0f\n", name.c_str(), encoder, ms,
                    magick_ratio, giflib_ratio, found->second.file_bytes);
      }
    }
  }

 private:
  std::map<std::string, TResult> results_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  for (const TSize& size : kSizes) {
    sk::DeleteFile(BmpPath(size));
    sk::DeleteFile(RgbPath(size));
  }
  benchmark::Shutdown();
  return 0;
}
