// Throughput and ratio of the store's block codec against LZ4 and zlib level 1, on two generated
// 64 MB inputs: an uncompressed 24-bit bitmap of a photo-like image, and a run of JPEG files.
//
// LZ4 and zlib are each handed the whole buffer in one call, which is their best case (no per-block
// overhead, a window that spans block edges). The store codec works block by block, as
// CompressItem and ExpandItem do, but into an output buffer kept across iterations like the
// others', so that all three are timed on codec work rather than on fresh pages from the kernel.
// Both directions check their result once, outside the timing.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "bench/BenchPictures.h"
#include "store/KESCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kTargetSize = size_t{64} << 20;

// A photo-like picture's pixels in blue, green, red order, rows top first (widths here are
// multiples of 4, so the picture's rows lie back to back).
Bytes PhotoLikePixels(int width, int height, uint64_t seed) {
  const sk::TPicture picture = sk::bench::PhotoLike(width, height, seed);
  Bytes pixels;
  pixels.reserve(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    pixels.insert(pixels.end(), picture.Row(y), picture.Row(y) + 3 * width);
  }
  return pixels;
}

void PutLE(Bytes& out, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A Windows bitmap file (BITMAPINFOHEADER, 24 bits, bottom-up rows) of a photo-like picture,
// sized to about kTargetSize bytes.
Bytes MakeBitmapFile() {
  const int width = 4096;
  const int row_bytes = width * 3;  // already a multiple of 4, so rows need no padding
  const int height = static_cast<int>(kTargetSize / row_bytes);
  const Bytes pixels = PhotoLikePixels(width, height, 1);
  const uint32_t image_size = static_cast<uint32_t>(pixels.size());

  Bytes file;
  file.reserve(54 + pixels.size());
  file.push_back('B');
  file.push_back('M');
  PutLE(file, 54 + image_size, 4);
  PutLE(file, 0, 4);
  PutLE(file, 54, 4);
  PutLE(file, 40, 4);
  PutLE(file, width, 4);
  PutLE(file, height, 4);
  PutLE(file, 1, 2);
  PutLE(file, 24, 2);
  PutLE(file, 0, 4);
  PutLE(file, image_size, 4);
  PutLE(file, 2835, 4);
  PutLE(file, 2835, 4);
  PutLE(file, 0, 4);
  PutLE(file, 0, 4);
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* row = pixels.data() + static_cast<size_t>(y) * row_bytes;
    file.insert(file.end(), row, row + row_bytes);
  }
  return file;
}

// Encodes blue-green-red pixels as a baseline JPEG at the given quality. libjpeg's default error
// handler ends the process on failure, which is acceptable for a benchmark tool.
Bytes EncodeJpeg(const Bytes& bgr, int width, int height, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  Bytes rgb_row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* src = bgr.data() + static_cast<size_t>(cinfo.next_scanline) * width * 3;
    for (int x = 0; x < width; ++x) {
      rgb_row[3 * x] = src[3 * x + 2];
      rgb_row[3 * x + 1] = src[3 * x + 1];
      rgb_row[3 * x + 2] = src[3 * x];
    }
    JSAMPROW row = rgb_row.data();
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

// Distinct photo-like pictures encoded at quality 75 and laid end to end up to kTargetSize bytes,
// as the store's data file holds them.
Bytes MakeJpegRun() {
  Bytes run;
  run.reserve(kTargetSize + (1 << 20));
  for (uint64_t seed = 100; run.size() < kTargetSize; ++seed) {
    const Bytes jpeg = EncodeJpeg(PhotoLikePixels(1024, 768, seed), 1024, 768, 75);
    run.insert(run.end(), jpeg.begin(), jpeg.end());
  }
  run.resize(kTargetSize);
  return run;
}

enum class Codec { kStoreCodec, kLz4, kZlib1 };
enum class Input { kBitmap, kJpeg };

// Each input is made on first use, outside any timing, so that a filtered run makes only its own.
const Bytes& InputBytes(Input input) {
  if (input == Input::kBitmap) {
    static const Bytes bitmap = MakeBitmapFile();
    return bitmap;
  }
  static const Bytes jpeg = MakeJpegRun();
  return jpeg;
}

// Compresses `in` into `out`, whose capacity is reused from call to call.
void Compress(Codec codec, const Bytes& in, Bytes& out) {
  switch (codec) {
    case Codec::kStoreCodec: {
      // The framing of CompressItem: a little-endian length before each slice's payload.
      out.clear();
      for (size_t at = 0; at < in.size(); at += sk::kCodecSliceSize) {
        const std::span<const uint8_t> slice(in.data() + at,
                                             std::min(sk::kCodecSliceSize, in.size() - at));
        const Bytes payload = sk::CompressSlice(slice);
        out.push_back(static_cast<uint8_t>(payload.size()));
        out.push_back(static_cast<uint8_t>(payload.size() >> 8));
        out.insert(out.end(), payload.begin(), payload.end());
      }
      return;
    }
    case Codec::kLz4: {
      out.resize(LZ4_compressBound(static_cast<int>(in.size())));
      const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                         reinterpret_cast<char*>(out.data()),
                                         static_cast<int>(in.size()), static_cast<int>(out.size()));
      if (n <= 0) throw std::runtime_error("LZ4_compress_default failed");
      out.resize(n);
      return;
    }
    case Codec::kZlib1: {
      uLongf size = compressBound(in.size());
      out.resize(size);
      if (compress2(out.data(), &size, in.data(), in.size(), 1) != Z_OK) {
        throw std::runtime_error("compress2 failed");
      }
      out.resize(size);
      return;
    }
  }
}

// Expands `packed` into `out`, which holds the original length on return; its capacity is reused
// from call to call.
void Expand(Codec codec, const Bytes& packed, size_t original_size, Bytes& out) {
  switch (codec) {
    case Codec::kStoreCodec: {
      // The framing of ExpandItem.
      out.clear();
      for (size_t pos = 0; pos < packed.size();) {
        const size_t length = packed[pos] | (size_t{packed[pos + 1]} << 8);
        const std::span<const uint8_t> payload(packed.data() + pos + 2, length);
        if (!sk::ExpandPayload(payload, out)) throw std::runtime_error("ExpandPayload failed");
        pos += 2 + length;
      }
      break;
    }
    case Codec::kLz4: {
      out.resize(original_size);
      const int n = LZ4_decompress_safe(
          reinterpret_cast<const char*>(packed.data()), reinterpret_cast<char*>(out.data()),
          static_cast<int>(packed.size()), static_cast<int>(out.size()));
      if (n < 0) throw std::runtime_error("LZ4_decompress_safe failed");
      out.resize(n);
      break;
    }
    case Codec::kZlib1: {
      out.resize(original_size);
      uLongf size = out.size();
      if (uncompress(out.data(), &size, packed.data(), packed.size()) != Z_OK) {
        throw std::runtime_error("uncompress failed");
      }
      out.resize(size);
      break;
    }
  }
  if (out.size() != original_size) throw std::runtime_error("expanded size differs");
}

// Compressed form of each input, made once; both directions are checked against the reference
// functions of each codec.
const Bytes& Packed(Codec codec, Input input) {
  static Bytes cache[3][2];
  static bool made[3][2] = {};
  const int c = static_cast<int>(codec), i = static_cast<int>(input);
  if (!made[c][i]) {
    const Bytes& original = InputBytes(input);
    Compress(codec, original, cache[c][i]);
    if (codec == Codec::kStoreCodec && cache[c][i] != sk::CompressItem(original)) {
      throw std::runtime_error("block framing differs from CompressItem");
    }
    Bytes check;
    Expand(codec, cache[c][i], original.size(), check);
    if (check != original) throw std::runtime_error("round trip mismatch");
    made[c][i] = true;
  }
  return cache[c][i];
}

void SetCounters(benchmark::State& state, Codec codec, Input input) {
  const double in_size = static_cast<double>(InputBytes(input).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in_size));
  // Input size over compressed size: higher is better, below 1 means the data grew.
  state.counters["ratio"] = in_size / static_cast<double>(Packed(codec, input).size());
}

void BM_Compress(benchmark::State& state, Codec codec, Input input) {
  const Bytes& in = InputBytes(input);
  Packed(codec, input);
  Bytes out;
  Compress(codec, in, out);  // brings the output buffer's pages in before timing
  for (auto _ : state) {
    Compress(codec, in, out);
    benchmark::DoNotOptimize(out.data());
  }
  SetCounters(state, codec, input);
}

void BM_Expand(benchmark::State& state, Codec codec, Input input) {
  const Bytes& packed = Packed(codec, input);
  const size_t original_size = InputBytes(input).size();
  Bytes out;
  Expand(codec, packed, original_size, out);  // brings the output buffer's pages in before timing
  for (auto _ : state) {
    Expand(codec, packed, original_size, out);
    benchmark::DoNotOptimize(out.data());
  }
  SetCounters(state, codec, input);
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    const char* name;
    Codec codec;
  } codecs[] = {{"StoreCodec", Codec::kStoreCodec}, {"LZ4", Codec::kLz4}, {"Zlib1", Codec::kZlib1}};
  const struct {
    const char* name;
    Input input;
  } inputs[] = {{"Bitmap64MB", Input::kBitmap}, {"Jpeg64MB", Input::kJpeg}};

  for (const auto& i : inputs) {
    for (const auto& c : codecs) {
      benchmark::RegisterBenchmark((std::string("Compress/") + c.name + "/" + i.name).c_str(),
                                   BM_Compress, c.codec, i.input)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((std::string("Expand/") + c.name + "/" + i.name).c_str(),
                                   BM_Expand, c.codec, i.input)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
