// Format choice, loading and saving through TImageIO, framed JPEG streams, and the conversions
// between 24-bit and two-colour pictures.
#include "imaging/ImageIO.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/BMPFilter.h"
#include "imaging/GIFFilter.h"
#include "imaging/ByteStream.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/PCXReader.h"
#include "imaging/TIFFReader.h"
#include "platform/Files.h"

namespace sk {

namespace {

// ---- Reading files ----

struct TLoadedPicture {
  TPicture picture;
  std::optional<TResolution> resolution;  // JPEG, TIFF and PCX files carry one
  std::optional<uint32_t> background;     // GIF files carry one
};

using TFileReader = TLoadedPicture (*)(const std::string& file_name);

TLoadedPicture ReadJpegFile(const std::string& file_name) {
  TFile file = TFile::Open(file_name, FileMode::kRead);
  TFileSource source(file);
  TJpegImage image = DecodeJpeg(source);
  return {std::move(image.picture), image.resolution, std::nullopt};
}

// No BMP this library reads can be larger: 4 bytes for each of kMaxPicturePixels pixels, plus
// headers and palette. Larger files are refused before they are read into memory.
constexpr int64_t kMaxBmpFileSize = 4 * kMaxPicturePixels + (1 << 20);

TLoadedPicture ReadBmpFile(const std::string& file_name) {
  TFile file = TFile::Open(file_name, FileMode::kRead);
  const int64_t size = file.Size();
  if (size > kMaxBmpFileSize) throw EInvalidGraphic(kUnrecognizedBmp);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  file.ReadExact(bytes);
  file.Close();
  return {ReadBMP(bytes), std::nullopt, std::nullopt};
}

// A GIF's first image; a GIF without an image gives an empty picture. Either way the file's
// background (its transparent colour, else the screen's) comes along.
TLoadedPicture ReadGifFile(const std::string& file_name) {
  TFile file = TFile::Open(file_name, FileMode::kRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  file.ReadExact(bytes);
  file.Close();
  TGIFResult result = ReadGIF(bytes, 0);
  return {result.picture ? std::move(*result.picture) : TPicture(), std::nullopt,
          GIFBackground(result)};
}

// A TIFF page, bilevel pages expanded to black and white; a page index beyond the file's pages
// gives no picture, only the page count.
struct TTiffFilePage {
  std::optional<TPicture> picture;
  std::optional<TResolution> resolution;
  int page_count = 0;
};

TTiffFilePage ReadTiffPage(const std::string& file_name, int page_index) {
  const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedTiff);
  TTIFFPage page = ReadTIFF(bytes, page_index);
  TTiffFilePage result{std::nullopt, page.resolution, page.page_count};
  if (page.bilevel) {
    result.picture = ExpandMonochrome(*page.bilevel);
  } else if (page.picture) {
    result.picture = std::move(*page.picture);
  }
  return result;
}

// The first page of a TIFF file; a file without pages is refused.
TLoadedPicture ReadTiffFile(const std::string& file_name) {
  TTiffFilePage page = ReadTiffPage(file_name, 0);
  if (!page.picture) throw EInvalidGraphic(kUnrecognizedTiff);
  return {std::move(*page.picture), page.resolution, std::nullopt};
}

TLoadedPicture ReadPcxFile(const std::string& file_name) {
  const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedPcx);
  TPCXImage image = ReadPCX(bytes);
  return {std::move(image.picture), image.resolution, std::nullopt};
}

enum class TFailureRule {
  kCodecErrors,  // EInvalidGraphic becomes the branch's message; other errors pass unchanged
  kEveryError,   // every error, also a file that cannot be opened, becomes the branch's message
};

template <typename Load>
auto WithMessage(const char* message, TFailureRule rule, Load&& load) {
  try {
    return load();
  } catch (const EInvalidGraphic&) {
    throw EInvalidGraphic(message);
  } catch (...) {
    if (rule == TFailureRule::kEveryError) throw EInvalidGraphic(message);
    throw;
  }
}

// The branches of LoadFromFile besides metafiles and the BMP default. A format whose reader is
// not part of the library yet has none, and its branch fails with the branch's message.
struct TFormatBranch {
  std::string_view extensions[2];  // "" fills an unused place
  const char* message;
  TFailureRule rule;
  TFileReader reader;
};

constexpr TFormatBranch kBranches[] = {
    {{".jpg", ".jpeg"}, kUnrecognizedJpeg, TFailureRule::kCodecErrors, ReadJpegFile},
    {{".tif", ".tiff"}, kUnrecognizedTiff, TFailureRule::kEveryError, ReadTiffFile},
    {{".pcx", ""}, kUnrecognizedPcx, TFailureRule::kEveryError, ReadPcxFile},
    {{".gif", ""}, kUnrecognizedGif, TFailureRule::kEveryError, ReadGifFile},
};

constexpr std::string_view kMetafileExtensions[] = {".wmf", ".emf"};

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void Fill(TPicture& picture, uint32_t color) {
  const uint8_t bgr[3] = {static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                          static_cast<uint8_t>(color)};
  for (int y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) std::memcpy(row + 3 * x, bgr, 3);
  }
}

// ---- Writing files ----

// Writes a picture file safely (see WriteFileAtomically): a failed save leaves an existing file
// as it was.
template <typename Write>
void SaveFileSafely(const std::string& file_name, Write&& write) {
  WriteFileAtomically(file_name, [&](TFile& file) {
    TFileSink sink(file);
    write(static_cast<TByteSink&>(sink));
    sink.Flush();
  });
}

// ---- Two-colour pictures ----

uint32_t PixelAt(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}

// A blue-green-red pixel as a colour value (red in the low byte).
uint32_t ColorOfPixel(uint32_t bgr) {
  return (bgr >> 16 & 0xFF) | (bgr & 0xFF00) | (bgr & 0xFF) << 16;
}

// round((30 red + 59 green + 11 blue) / 100), halves to even.
int Luminance(uint32_t bgr) {
  const int sum = 30 * static_cast<int>(bgr >> 16 & 0xFF) + 59 * static_cast<int>(bgr >> 8 & 0xFF) +
                  11 * static_cast<int>(bgr & 0xFF);
  const int quotient = sum / 100;
  const int remainder = sum % 100;
  return quotient + (remainder > 50 || (remainder == 50 && quotient % 2 == 1) ? 1 : 0);
}

// For each byte of a 1-bit row, its eight pixels: set bits white, clear bits black.
constexpr auto kExpandedBytes = [] {
  std::array<std::array<uint8_t, 24>, 256> table{};
  for (int value = 0; value < 256; ++value) {
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t level = (value & (0x80 >> bit)) != 0 ? 0xFF : 0x00;
      for (int c = 0; c < 3; ++c) table[value][3 * bit + c] = level;
    }
  }
  return table;
}();

constexpr uint8_t kJpegFrameTag[4] = {'J', 'F', 'I', 'F'};

}  // namespace

// ---- TImageIO ----

TImageIO::~TImageIO() {
  if (host_ != nullptr) host_->RemoveObserver(this);
}

void TImageIO::SetAttachedImage(TPictureHost* host) {
  if (host == host_) return;
  if (host_ != nullptr) host_->RemoveObserver(this);
  host_ = host;
  if (host_ != nullptr) host_->AddObserver(this);
}

void TImageIO::HostDestroyed(TPictureHost& host) {
  if (&host == host_) host_ = nullptr;
}

uint32_t TImageIO::Background() const {
  return host_ != nullptr ? host_->Background() : own_background_;
}

void TImageIO::SetBackground(uint32_t color) {
  if (host_ != nullptr) {
    host_->SetBackground(color);
  } else {
    own_background_ = color;
  }
}

TResolution TImageIO::HostResolution() const {
  return {host_->DpiX(), host_->DpiY()};
}

void TImageIO::Accept(TPicture picture, std::optional<TResolution> resolution,
                      std::optional<uint32_t> background) {
  if (resolution) host_->SetDPI(resolution->x, resolution->y);
  if (background) SetBackground(*background);
  host_->Bitmap() = std::move(picture);
  host_->Update();
  host_->ImageChange();
}

void TImageIO::LoadFromFile(const std::string& file_name) {
  if (host_ == nullptr) return;
  const std::string extension = LowerCase(ExtractFileExt(file_name));
  for (std::string_view metafile : kMetafileExtensions) {
    if (extension == metafile) return LoadMetafile(file_name);
  }
  for (const TFormatBranch& branch : kBranches) {
    if (extension.empty() ||
        (extension != branch.extensions[0] && extension != branch.extensions[1])) {
      continue;
    }
    TLoadedPicture loaded = WithMessage(branch.message, branch.rule, [&] {
      if (branch.reader == nullptr) throw EInvalidGraphic(branch.message);
      return branch.reader(file_name);
    });
    Accept(std::move(loaded.picture), loaded.resolution, loaded.background);
    return;
  }
  LoadFromFileBMP(file_name);
}

void TImageIO::LoadFromFileJpeg(const std::string& file_name) {
  if (host_ == nullptr) return;
  TLoadedPicture loaded = WithMessage(kUnrecognizedJpeg, TFailureRule::kCodecErrors,
                                      [&] { return ReadJpegFile(file_name); });
  Accept(std::move(loaded.picture), loaded.resolution, std::nullopt);
}

int TImageIO::LoadFromFileTIFF(const std::string& file_name, int page_index) {
  if (host_ == nullptr) return 0;
  TTiffFilePage page = WithMessage(kUnrecognizedTiff, TFailureRule::kCodecErrors,
                                   [&] { return ReadTiffPage(file_name, page_index); });
  if (page.picture) Accept(std::move(*page.picture), page.resolution, std::nullopt);
  return page.page_count;
}

void TImageIO::LoadFromFileBMP(const std::string& file_name) {
  if (host_ == nullptr) return;
  TLoadedPicture loaded = WithMessage(kUnrecognizedBmp, TFailureRule::kCodecErrors,
                                      [&] { return ReadBmpFile(file_name); });
  Accept(std::move(loaded.picture), std::nullopt, std::nullopt);
}

void TImageIO::LoadMetafile(const std::string& file_name) {
  TPicture picture = WithMessage(kUnrecognizedMetafile, TFailureRule::kEveryError, [&] {
    if (!metafile_loader_) throw EInvalidGraphic(kUnrecognizedMetafile);
    const std::unique_ptr<TMetafile> metafile = metafile_loader_(file_name);
    if (!metafile) throw EInvalidGraphic(kUnrecognizedMetafile);
    // The picture is one pixel narrower and lower than the metafile.
    const int64_t width = static_cast<int64_t>(metafile->Width()) - 1;
    const int64_t height = static_cast<int64_t>(metafile->Height()) - 1;
    if (width < 0 || height < 0) throw EInvalidGraphic(kUnrecognizedMetafile);
    TPicture result;
    if (width > 0 && height > 0) {
      if (!PictureSizeAllowed(width, height)) throw EInvalidGraphic(kUnrecognizedMetafile);
      result.SetSize(static_cast<int>(width), static_cast<int>(height));
      // Areas the metafile does not paint show the background.
      Fill(result, host_->ResolveColor(Background()));
      metafile->Draw(result);
    }
    return result;
  });
  Accept(std::move(picture), std::nullopt, std::nullopt);
}

void TImageIO::LoadFromStreamJpeg(TMemoryStream& stream) {
  if (host_ == nullptr) return;
  TJpegImage image = DecodeFramedJpeg(stream);
  Accept(std::move(image.picture), image.resolution, std::nullopt);
}

void TImageIO::SaveToStreamJpeg(TMemoryStream& stream, int quality) {
  if (host_ == nullptr) return;
  EncodeFramedJpeg(stream, host_->Bitmap(), HostResolution(), quality);
}

void TImageIO::SaveToFileJpeg(const std::string& file_name, int quality) {
  if (host_ == nullptr) return;
  SaveFileSafely(file_name, [&](TByteSink& sink) {
    EncodeJpeg(sink, host_->Bitmap(), HostResolution(), quality);
  });
}

void TImageIO::SaveToFileGIF(const std::string& file_name, bool interlaced, uint16_t delay,
                             bool transparent, uint16_t left, uint16_t top) {
  if (host_ == nullptr) return;
  const TGIFWriteOptions options{use_lzw_, interlaced, delay, transparent, left, top,
                                 host_->ResolveColor(Background())};
  SaveFileSafely(file_name, [&](TByteSink& sink) { WriteGIF(sink, host_->Bitmap(), options); });
}

void TImageIO::SaveToFileBMP(const std::string& file_name) {
  if (host_ == nullptr) return;
  const std::optional<TMonochrome> monochrome = MakeMonochrome(host_->Bitmap());
  SaveFileSafely(file_name, [&](TByteSink& sink) {
    if (monochrome) {
      WriteBMP(sink, monochrome->bits, monochrome->colours);
    } else {
      WriteBMP(sink, host_->Bitmap());
    }
  });
}

// ---- Framed JPEG streams ----

std::array<uint8_t, JpegFrame::kSize> JpegFrame::Bytes() const {
  std::array<uint8_t, kSize> bytes{};
  std::memcpy(bytes.data(), kJpegFrameTag, 4);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<uint8_t>(length >> (8 * i));
  return bytes;
}

std::optional<JpegFrame> JpegFrame::Parse(std::span<const uint8_t, kSize> bytes) {
  // The tag and a zero fifth byte mark a frame; a raw JPEG starts with FF D8.
  if (std::memcmp(bytes.data(), kJpegFrameTag, 4) != 0 || bytes[4] != 0) return std::nullopt;
  JpegFrame frame;
  for (int i = 0; i < 4; ++i) frame.length |= static_cast<uint32_t>(bytes[8 + i]) << (8 * i);
  return frame;
}

void EncodeFramedJpeg(TMemoryStream& stream, const TPicture& picture, TResolution resolution,
                      int quality) {
  const size_t start = stream.Position();
  stream.Write(JpegFrame{}.Bytes());
  TMemorySink sink(stream);
  EncodeJpeg(sink, picture, resolution, quality);
  const size_t end = stream.Position();
  const size_t length = end - start - JpegFrame::kSize;
  if (length > 0xFFFFFFFFu) throw EInvalidGraphic(kUnrecognizedJpegStream);
  stream.Seek(start);
  stream.Write(JpegFrame{static_cast<uint32_t>(length)}.Bytes());
  stream.Seek(end);
}

TJpegImage DecodeFramedJpeg(TMemoryStream& stream) {
  try {
    const size_t start = stream.Position();
    std::array<uint8_t, JpegFrame::kSize> head{};
    const size_t got = stream.Read(head);
    const std::optional<JpegFrame> frame =
        got == head.size() ? JpegFrame::Parse(head) : std::nullopt;
    if (!frame) {
      stream.Seek(start);
      TMemorySource source(stream);
      return DecodeJpeg(source);
    }
    // The frame bounds the JPEG, so a damaged item never reads into what follows it.
    TMemorySource source(stream);
    TLimitedSource limited(source, frame->length);
    TJpegImage image = DecodeJpeg(limited);
    stream.Seek(start + JpegFrame::kSize + frame->length);
    return image;
  } catch (...) {
    throw EInvalidGraphic(kUnrecognizedJpegStream);
  }
}

// ---- Two-colour pictures ----

std::optional<TMonochrome> MakeMonochrome(const TPicture& picture) {
  if (picture.Empty()) return std::nullopt;
  TMonochrome result;
  result.bits.SetSize(picture.Width(), picture.Height());
  const uint32_t first = PixelAt(picture.Row(0));
  std::optional<uint32_t> second;
  for (int y = 0; y < picture.Height(); ++y) {
    const uint8_t* in = picture.Row(y);
    uint8_t* bits = result.bits.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      const uint32_t pixel = PixelAt(in + 3 * x);
      if (pixel == first) continue;
      if (!second) {
        second = pixel;
      } else if (pixel != *second) {
        return std::nullopt;  // a third colour
      }
      bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
  if (!second) return std::nullopt;
  uint32_t dark = first;
  uint32_t light = *second;
  if (Luminance(light) < Luminance(dark)) {
    std::swap(dark, light);
    // Invert the bits that belong to pixels; padding stays clear.
    const size_t full_bytes = static_cast<size_t>(picture.Width()) / 8;
    const uint8_t tail_mask = static_cast<uint8_t>(0xFF00 >> (picture.Width() % 8));
    for (int y = 0; y < picture.Height(); ++y) {
      uint8_t* bits = result.bits.Row(y);
      for (size_t i = 0; i < full_bytes; ++i) bits[i] = static_cast<uint8_t>(~bits[i]);
      if (picture.Width() % 8 != 0) bits[full_bytes] ^= tail_mask;
    }
  }
  result.colours = {ColorOfPixel(dark), ColorOfPixel(light)};
  return result;
}

TPicture ExpandMonochrome(const TMonoPicture& bits) {
  TPicture picture(bits.Width(), bits.Height());
  const int full_bytes = bits.Width() / 8;
  const int tail_pixels = bits.Width() % 8;
  for (int y = 0; y < bits.Height(); ++y) {
    const uint8_t* in = bits.Row(y);
    uint8_t* out = picture.Row(y);
    for (int i = 0; i < full_bytes; ++i)
      std::memcpy(out + 24 * i, kExpandedBytes[in[i]].data(), 24);
    if (tail_pixels != 0) {
      std::memcpy(out + 24 * full_bytes, kExpandedBytes[in[full_bytes]].data(), 3 * tail_pixels);
    }
  }
  return picture;
}

}  // namespace sk
