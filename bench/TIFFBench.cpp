// TIFF decoding of a 50-page Group 4 fax file (1728 x 2200 text-like pages) and of a 12-megapixel
// LZW RGB page with horizontal differencing, against `tiffcp -c none` of the same files; ends with
// a table of the times and their ratios.
//
// Ours: ReadTIFF of every page from the file's bytes in memory (the whole-file read included).
// tiffcp is timed as a whole command, as a user would run it: process start, reading and decoding
// every page with libtiff, and writing them uncompressed. The inputs are made once by ImageMagick
// and tiffcp in $SK_BENCH_DIR (default the temporary folder) and removed at the end.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "imaging/BMPWriter.h"
#include "imaging/ByteReader.h"
#include "imaging/ByteStream.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/TIFFReader.h"
#include "platform/Files.h"

namespace {

constexpr int kFaxPages = 50;
constexpr int kFaxWidth = 1728;
constexpr int kFaxHeight = 2200;

std::string BenchDir() {
  const char* dir = std::getenv("SK_BENCH_DIR");
  return dir != nullptr && *dir != '\0' ? dir : sk::TempDirectory();
}

std::string Path(const std::string& name) {
  return BenchDir() + "/sk_tiffbench_" + name;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "TIFFBench: failed: %s\n", command.c_str());
    std::exit(2);
  }
}

// A fax-like page as a binary PBM: lines of "words" made of small black glyph boxes and strokes,
// with margins, on white.
void WriteFaxPage(const std::string& path, uint32_t seed) {
  std::mt19937 rng(seed);
  const int row_bytes = (kFaxWidth + 7) / 8;
  std::vector<uint8_t> bits(static_cast<size_t>(row_bytes) * kFaxHeight, 0);
  const auto set = [&](int x, int y) {
    bits[static_cast<size_t>(y) * row_bytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  };
  for (int line_top = 150; line_top + 30 < kFaxHeight - 150; line_top += 42) {
    int x = 120;
    while (x < kFaxWidth - 160) {
      const int word = 3 + static_cast<int>(rng() % 8);
      for (int g = 0; g < word && x < kFaxWidth - 140; ++g) {
        const int glyph_width = 10 + static_cast<int>(rng() % 10);
        const int glyph_height = 18 + static_cast<int>(rng() % 12);
        const uint32_t shape = rng();
        for (int dy = 0; dy < glyph_height; ++dy) {
          for (int dx = 0; dx < glyph_width; ++dx) {
            // Strokes: the glyph's edges and a bar, chosen by the shape bits.
            const bool stroke =
                (dx < 3 && (shape & 1)) || (dx >= glyph_width - 3 && (shape & 2)) ||
                (dy < 3 && (shape & 4)) || (dy >= glyph_height - 3 && (shape & 8)) ||
                (dy >= glyph_height / 2 - 1 && dy <= glyph_height / 2 + 1 && (shape & 16));
            if (stroke) set(x + dx, line_top + (30 - glyph_height) + dy);
          }
        }
        x += glyph_width + 3;
      }
      x += 18;
    }
  }
  sk::TFile file = sk::TFile::Open(path, sk::FileMode::kCreate);
  const std::string header =
      "P4\n" + std::to_string(kFaxWidth) + " " + std::to_string(kFaxHeight) + "\n";
  file.Write(std::span(reinterpret_cast<const uint8_t*>(header.data()), header.size()));
  file.Write(bits);
  file.Close();
}

// Makes the two inputs once: fax.tif (50 Group 4 pages) and photo.tif (4000 x 3000, LZW with
// horizontal differencing).
void MakeInputs() {
  static bool made = false;
  if (made) return;
  made = true;
  std::string pages;
  for (int page = 0; page < kFaxPages; ++page) {
    const std::string pbm = Path("page" + std::to_string(page) + ".pbm");
    WriteFaxPage(pbm, 1000 + static_cast<uint32_t>(page));
    const std::string tif = Path("page" + std::to_string(page) + ".tif");
    Shell("/usr/bin/convert '" + pbm + "' -compress Group4 '" + tif + "'");
    sk::DeleteFile(pbm);
    pages += " '" + tif + "'";
  }
  Shell("tiffcp -c g4" + pages + " '" + Path("fax.tif") + "'");
  for (int page = 0; page < kFaxPages; ++page) {
    sk::DeleteFile(Path("page" + std::to_string(page) + ".tif"));
  }
  const sk::TPicture photo = sk::bench::PhotoLike(4000, 3000, 2025);
  {
    sk::TFile file = sk::TFile::Open(Path("photo.bmp"), sk::FileMode::kCreate);
    sk::TFileSink sink(file);
    sk::WriteBMP(sink, photo);
    sink.Flush();
    file.Close();
  }
  Shell("/usr/bin/convert '" + Path("photo.bmp") + "' -depth 8 '" + Path("plain.tif") + "'");
  Shell("tiffcp -c lzw:2 '" + Path("plain.tif") + "' '" + Path("photo.tif") + "'");
  sk::DeleteFile(Path("photo.bmp"));
  sk::DeleteFile(Path("plain.tif"));
}

const char* const kInputs[] = {"fax.tif", "photo.tif"};

void BM_ReadTIFF(benchmark::State& state) {
  MakeInputs();
  const std::string path = Path(kInputs[state.range(0)]);
  int pages = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> bytes = sk::ReadPictureFile(path, sk::kUnrecognizedTiff);
    pages = 0;
    for (int page = 0;; ++page) {
      sk::TTIFFPage result = sk::ReadTIFF(bytes, page);
      if (!result.HasPage()) break;
      benchmark::DoNotOptimize(result);
      ++pages;
    }
  }
  state.counters["pages"] = pages;
  state.SetLabel(std::string(kInputs[state.range(0)]) + " ours");
}

void BM_TiffcpNone(benchmark::State& state) {
  MakeInputs();
  const std::string path = Path(kInputs[state.range(0)]);
  const std::string command = "tiffcp -c none '" + path + "' '" + Path("out.tif") + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("tiffcp failed");
      break;
    }
  }
  state.SetLabel(std::string(kInputs[state.range(0)]) + " tiffcp");
  sk::DeleteFile(Path("out.tif"));
}

BENCHMARK(BM_ReadTIFF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_TiffcpNone)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

// Keeps each run's time for the summary.
class TSummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      milliseconds_[run.report_label] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintSummary() const {
    std::printf("\n%-10s %10s %12s %16s\n", "file", "ours ms", "tiffcp ms", "tiffcp / ours");
    for (const char* input : kInputs) {
      const auto ours = milliseconds_.find(std::string(input) + " ours");
      const auto tiffcp = milliseconds_.find(std::string(input) + " tiffcp");
      if (ours == milliseconds_.end() || tiffcp == milliseconds_.end()) continue;
      std::printf("%-10s %10.1f %12.1f %16.2f\n", input, ours->second, tiffcp->second,
                  ours->second > 0 ? tiffcp->second / ours->second : 0);
    }
  }

 private:
  std::map<std::string, double> milliseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  for (const char* input : kInputs) sk::DeleteFile(Path(input));
  benchmark::Shutdown();
  return 0;
}
