// JPEG adapter on libjpeg-turbo. Library errors longjmp into RunStep, the only setjmp, whose steps
// hold nothing with a destructor; a failed step becomes an exception after RunStep returns.
#include "imaging/JPEGFilter.h"

#include <array>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including their headers
#include <cstring>
#include <exception>
#include <limits>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr size_t kBufferSize = 4096;
constexpr uint64_t kUnknown = std::numeric_limits<uint64_t>::max();

// State shared by a decompression and a compression call; the library object's client_data
// points at it, so the hooks find it without relying on struct layout.
struct TJPEGCall {
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  int error_code = 0;               // message code of the error that stopped the library
  bool ended_early = false;         // the library warned that the data ended before the picture
  std::exception_ptr stream_error;  // set when the stream itself raised

  void InstallErrorManager(jpeg_common_struct& object);
};

TJPEGCall& CallOf(j_common_ptr object) {
  return *static_cast<TJPEGCall*>(object->client_data);
}

[[noreturn]] void ErrorExit(j_common_ptr object) {
  TJPEGCall& call = CallOf(object);
  call.error_code = object->err->msg_code;
  std::longjmp(call.jump, 1);
}

// Warnings, including corrupt-data warnings, never stop the library, and nothing is printed. The
// warning that the data ended early is remembered: the picture's lower part is then filled in.
void EmitMessage(j_common_ptr object, int level) {
  if (level < 0 && object->err->msg_code == JWRN_JPEG_EOF) CallOf(object).ended_early = true;
}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
  buffer[0] = '\0';
}
void ResetErrorManager(j_common_ptr object) {
  object->err->num_warnings = 0;
  object->err->msg_code = 0;
}

void TJPEGCall::InstallErrorManager(jpeg_common_struct& object) {
  object.err = jpeg_std_error(&errors);
  errors.error_exit = ErrorExit;
  errors.emit_message = EmitMessage;
  errors.output_message = OutputMessage;
  errors.format_message = FormatMessage;
  errors.reset_error_mgr = ResetErrorManager;
  object.client_data = this;
}

// Runs one step of library calls and says whether it completed. A library error leaves the step
// by longjmp back to here, so a step may hold only trivially destructible locals.
bool RunStep(TJPEGCall& call, void (*step)(TJPEGCall&)) {
  if (setjmp(call.jump) != 0) return false;
  step(call);
  return true;
}

// Turns a failed step into the caller's exception: the stream's own error when the stream raised,
// else the library's message code.
void Check(const TJPEGCall& call, bool completed) {
  if (completed) return;
  if (call.stream_error) std::rethrow_exception(call.stream_error);
  throw EInvalidGraphic(JpegLibraryMessage(call.error_code));
}

// ---- Decompression ----

struct TDecoder : TJPEGCall {
  jpeg_decompress_struct info{};
  jpeg_source_mgr source{};
  jpeg_progress_mgr progress{};
  TByteSource* stream = nullptr;
  uint64_t bytes_read = 0;
  uint64_t scan_data_start = kUnknown;  // stream offset just after the first scan's header
  TPicture* picture = nullptr;
  std::array<uint8_t, kBufferSize> buffer{};

  // Destroying an object that was never created (or half created) is safe in the library.
  ~TDecoder() { jpeg_destroy_decompress(&info); }
};

TDecoder& DecoderOf(j_decompress_ptr info) {
  return static_cast<TDecoder&>(CallOf(reinterpret_cast<j_common_ptr>(info)));
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
  TDecoder& d = DecoderOf(info);
  size_t n = 0;
  bool failed = false;
  try {
    n = d.stream->Read(d.buffer);
  } catch (...) {
    d.stream_error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(info, JERR_FILE_READ);
  if (n == 0) {
    if (d.bytes_read == 0) ERREXIT(info, JERR_INPUT_EMPTY);
    // Cut right after the first scan's header: there is no image data to show at all.
    if (d.bytes_read == d.scan_data_start) ERREXIT(info, JERR_INPUT_EOF);
    // Cut later: end the data with an end-of-image marker so that the library fills in the
    // rest of the picture and finishes.
    WARNMS(info, JWRN_JPEG_EOF);
    d.buffer[0] = 0xFF;
    d.buffer[1] = JPEG_EOI;
    n = 2;
  } else {
    d.bytes_read += n;
  }
  d.source.next_input_byte = d.buffer.data();
  d.source.bytes_in_buffer = n;
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& source = *info->src;
  while (count > static_cast<long>(source.bytes_in_buffer)) {
    count -= static_cast<long>(source.bytes_in_buffer);
    FillInputBuffer(info);
  }
  source.next_input_byte += count;
  source.bytes_in_buffer -= static_cast<size_t>(count);
}

// Called by the library before each unit of input it consumes: stops a stream that starts more
// scans than kMaxJpegScans, since every scan passes over the whole picture again.
void MonitorProgress(j_common_ptr object) {
  const auto* info = reinterpret_cast<j_decompress_ptr>(object);
  if (info->input_scan_number > kMaxJpegScans) ERREXIT1(object, JERR_BAD_SCAN_SCRIPT, 0);
}

void ReadHeader(TJPEGCall& call) {
  TDecoder& d = static_cast<TDecoder&>(call);
  jpeg_create_decompress(&d.info);
  d.source.init_source = InitSource;
  d.source.fill_input_buffer = FillInputBuffer;
  d.source.skip_input_data = SkipInputData;
  d.source.resync_to_restart = jpeg_resync_to_restart;
  d.source.term_source = TermSource;
  d.info.src = &d.source;
  d.progress.progress_monitor = MonitorProgress;
  d.info.progress = &d.progress;
  jpeg_read_header(&d.info, TRUE);
  d.info.out_color_space = JCS_EXT_BGR;
}

void StartDecompress(TJPEGCall& call) {
  jpeg_start_decompress(&static_cast<TDecoder&>(call).info);
}

void ReadScanLines(TJPEGCall& call) {
  TDecoder& d = static_cast<TDecoder&>(call);
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = d.picture->Row(static_cast<int>(d.info.output_scanline));
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
}

TResolution ResolutionOf(const jpeg_decompress_struct& info) {
  switch (info.density_unit) {
    case 0:
    case 1: return {info.X_density, info.Y_density};
    case 2: return {info.X_density * 254 / 100, info.Y_density * 254 / 100};
    default: return {};
  }
}

// ---- Compression ----

struct TEncoder : TJPEGCall {
  jpeg_compress_struct info{};
  jpeg_destination_mgr destination{};
  TByteSink* stream = nullptr;
  const TPicture* picture = nullptr;
  TResolution resolution;
  int quality = 0;
  std::array<uint8_t, kBufferSize> buffer{};

  ~TEncoder() { jpeg_destroy_compress(&info); }
};

TEncoder& EncoderOf(j_compress_ptr info) {
  return static_cast<TEncoder&>(CallOf(reinterpret_cast<j_common_ptr>(info)));
}

// Hands `size` bytes of the buffer to the stream; a stream error stops the library.
void WriteBuffer(j_compress_ptr info, size_t size) {
  TEncoder& e = EncoderOf(info);
  bool failed = false;
  try {
    e.stream->Write(std::span(e.buffer.data(), size));
  } catch (...) {
    e.stream_error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(info, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr info) {
  TEncoder& e = EncoderOf(info);
  e.destination.next_output_byte = e.buffer.data();
  e.destination.free_in_buffer = e.buffer.size();
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
  // The library calls this with the whole buffer full, whatever free_in_buffer says.
  WriteBuffer(info, kBufferSize);
  InitDestination(info);
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  TEncoder& e = EncoderOf(info);
  WriteBuffer(info, e.buffer.size() - e.destination.free_in_buffer);
}

void Compress(TJPEGCall& call) {
  TEncoder& e = static_cast<TEncoder&>(call);
  jpeg_create_compress(&e.info);
  e.destination.init_destination = InitDestination;
  e.destination.empty_output_buffer = EmptyOutputBuffer;
  e.destination.term_destination = TermDestination;
  e.info.dest = &e.destination;
  e.info.image_width = static_cast<JDIMENSION>(e.picture->Width());
  e.info.image_height = static_cast<JDIMENSION>(e.picture->Height());
  e.info.input_components = 3;
  e.info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&e.info);
  e.info.density_unit = 1;
  e.info.X_density = static_cast<UINT16>(e.resolution.x);
  e.info.Y_density = static_cast<UINT16>(e.resolution.y);
  jpeg_set_quality(&e.info, e.quality, TRUE);
  jpeg_start_compress(&e.info, TRUE);
  while (e.info.next_scanline < e.info.image_height) {
    // The library only reads the rows it is given.
    JSAMPROW row = const_cast<uint8_t*>(e.picture->Row(static_cast<int>(e.info.next_scanline)));
    jpeg_write_scanlines(&e.info, &row, 1);
  }
  jpeg_finish_compress(&e.info);
}

}  // namespace

TJpegImage DecodeJpeg(TByteSource& source) {
  TDecoder d;
  d.InstallErrorManager(*reinterpret_cast<j_common_ptr>(&d.info));
  d.stream = &source;
  Check(d, RunStep(d, ReadHeader));
  d.scan_data_start = d.bytes_read - d.source.bytes_in_buffer;
  // Refuse pictures too large to hold before the library allocates for them.
  if (!PictureSizeAllowed(d.info.image_width, d.info.image_height)) {
    throw EInvalidGraphic(JpegLibraryMessage(JERR_IMAGE_TOO_BIG));
  }
  // Every 8x8 block of a Huffman-coded scan takes at least one bit (the code of its DC
  // difference), so data smaller than that declares a size it cannot fill.
  if (const std::optional<uint64_t> left = source.Remaining()) {
    const uint64_t blocks =
        (uint64_t{d.info.image_width} + 7) / 8 * ((uint64_t{d.info.image_height} + 7) / 8);
    if ((d.bytes_read + *left) * 8 < blocks) {
      throw EInvalidGraphic(JpegLibraryMessage(JERR_INPUT_EOF));
    }
  }
  TJpegImage result;
  result.resolution = ResolutionOf(d.info);
  Check(d, RunStep(d, StartDecompress));
  if (d.info.output_components != 3 ||
      !PictureSizeAllowed(d.info.output_width, d.info.output_height)) {
    throw EInvalidGraphic(JpegLibraryMessage(JERR_CONVERSION_NOTIMPL));
  }
  result.picture.SetSize(static_cast<int>(d.info.output_width),
                         static_cast<int>(d.info.output_height));
  d.picture = &result.picture;
  Check(d, RunStep(d, ReadScanLines));
  result.ended_early = d.ended_early;
  return result;
}

namespace {

constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kShortType = 3;

// The orientation tag of the first image file directory of a TIFF structure (the reader's
// position 0 is the structure's byte-order mark); 1 without a usable one.
int TIFFOrientation(TByteReader tiff) {
  const uint16_t mark = tiff.U16BE();
  if (mark == 0x4949) {
    tiff.SetOrder(TByteOrder::kLittleEndian);
  } else if (mark == 0x4D4D) {
    tiff.SetOrder(TByteOrder::kBigEndian);
  } else {
    return 1;
  }
  if (tiff.U16() != 42) return 1;
  tiff.Seek(tiff.U32());
  const uint16_t entries = tiff.U16();
  for (uint16_t i = 0; i < entries; ++i) {
    const uint16_t tag = tiff.U16();
    const uint16_t type = tiff.U16();
    const uint32_t count = tiff.U32();
    TByteReader value = tiff.TakeReader(4);
    if (tag != kOrientationTag) continue;
    if (type != kShortType || count < 1) return 1;
    const uint16_t orientation = value.U16();
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
  }
  return 1;
}

}  // namespace

int ReadJPEGOrientation(std::span<const uint8_t> jpeg) {
  static constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  try {
    TByteReader in(jpeg, kUnrecognizedJpeg, TByteOrder::kBigEndian);
    if (in.U16() != 0xFFD8) return 1;
    for (;;) {
      if (in.U8() != 0xFF) return 1;
      uint8_t marker = in.U8();
      while (marker == 0xFF) marker = in.U8();         // fill bytes
      if (marker == 0xDA || marker == 0xD9) return 1;  // start of scan, end of image
      if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
      const uint16_t length = in.U16();
      if (length < 2) return 1;
      TByteReader segment = in.TakeReader(length - 2u);
      if (marker == 0xE1 && segment.Remaining() >= sizeof kExifHeader &&
          std::memcmp(segment.Take(sizeof kExifHeader).data(), kExifHeader, sizeof kExifHeader) ==
              0) {
        return TIFFOrientation(segment.TakeReader(segment.Remaining()));
      }
    }
  } catch (const EInvalidGraphic&) {
    return 1;
  }
}

TLoadedPicture ReadJPEGFile(const std::string& file_name) {
  const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedJpeg);
  TSpanSource source(bytes);
  TJpegImage image = DecodeJpeg(source);
  TLoadedPicture loaded{std::move(image.picture), image.resolution, std::nullopt,
                        ReadJPEGOrientation(bytes)};
  loaded.ended_early = image.ended_early;
  return loaded;
}

void EncodeJpeg(TByteSink& sink, const TPicture& picture, TResolution resolution, int quality) {
  TEncoder e;
  e.InstallErrorManager(*reinterpret_cast<j_common_ptr>(&e.info));
  e.stream = &sink;
  e.picture = &picture;
  e.resolution = resolution;
  e.quality = quality;
  Check(e, RunStep(e, Compress));
}

}  // namespace sk
