// Format choice, loading and saving through TImageIO.
#include "imaging/ImageIO.h"

#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/BMPReader.h"
#include "imaging/BMPWriter.h"
#include "imaging/ByteReader.h"
#include "imaging/ByteStream.h"
#include "imaging/GIFReader.h"
#include "imaging/GIFWriter.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/JpegFrame.h"
#include "imaging/Metafile.h"
#include "imaging/Monochrome.h"
#include "imaging/Orientation.h"
#include "imaging/PCXReader.h"
#include "imaging/TIFFReader.h"
#include "platform/Files.h"

namespace sk {

namespace {

// ---- Reading files ----

using TFileReader = TLoadedPicture (*)(const std::string& file_name);

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
  const char* name;
  std::string_view extensions[2];  // "" fills an unused place
  const char* message;
  TFailureRule rule;
  TFileReader reader;
};

constexpr TFormatBranch kBranches[] = {
    {"JPEG", {".jpg", ".jpeg"}, kUnrecognizedJpeg, TFailureRule::kCodecErrors, ReadJPEGFile},
    {"TIFF", {".tif", ".tiff"}, kUnrecognizedTiff, TFailureRule::kEveryError, ReadTIFFFile},
    {"PCX", {".pcx", ""}, kUnrecognizedPcx, TFailureRule::kEveryError, ReadPCXFile},
    {"GIF", {".gif", ""}, kUnrecognizedGif, TFailureRule::kEveryError, ReadGIFFile},
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

// The readers a file's first bytes name, tried when the reader its extension chose refuses it.
// Only signatures that name one format without doubt are listed (PCX's single byte is not).
struct TSignature {
  std::string_view magic;
  TFileReader reader;
};

constexpr TSignature kSignatures[] = {
    {std::string_view("\xFF\xD8\xFF", 3), ReadJPEGFile},
    {std::string_view("GIF87a", 6), ReadGIFFile},
    {std::string_view("GIF89a", 6), ReadGIFFile},
    {std::string_view("II*\0", 4), ReadTIFFFile},
    {std::string_view("MM\0*", 4), ReadTIFFFile},
    {std::string_view("BM", 2), ReadBMPFile},
};
constexpr size_t kSignatureBytes = 6;

// The reader LoadFromFile chooses by the file's extension (null for metafiles).
TFileReader ExtensionReader(const std::string& file_name) {
  if (IsMetafileName(file_name)) return nullptr;
  const std::string extension = LowerCase(ExtractFileExt(file_name));
  for (const TFormatBranch& branch : kBranches) {
    if (!extension.empty() &&
        (extension == branch.extensions[0] || extension == branch.extensions[1])) {
      return branch.reader;
    }
  }
  return ReadBMPFile;
}

// The reader the file's first bytes name, or null (also when the file cannot be read).
TFileReader ReaderBySignature(const std::string& file_name) {
  std::array<uint8_t, kSignatureBytes> head{};
  size_t length = 0;
  try {
    TFile file = TFile::Open(file_name, FileMode::kRead);
    while (length < head.size()) {
      const size_t n = file.Read(std::span<uint8_t>(head).subspan(length));
      if (n == 0) break;
      length += n;
    }
  } catch (const std::exception&) {
    return nullptr;
  }
  const std::string_view start(reinterpret_cast<const char*>(head.data()), length);
  for (const TSignature& signature : kSignatures) {
    if (start.substr(0, signature.magic.size()) == signature.magic) return signature.reader;
  }
  return nullptr;
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

}  // namespace

// ---- The formats ----

std::vector<TPictureFormat> PictureFormats() {
  std::vector<TPictureFormat> formats = {{"BMP", {".bmp"}}};
  for (const TFormatBranch& branch : kBranches) {
    TPictureFormat format{branch.name, {}};
    for (std::string_view extension : branch.extensions) {
      if (!extension.empty()) format.extensions.emplace_back(extension);
    }
    formats.push_back(std::move(format));
  }
  formats.push_back(
      {"WMF and EMF", {kMetafileExtensions[0].data(), kMetafileExtensions[1].data()}});
  return formats;
}

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

void TImageIO::Accept(TLoadedPicture loaded) {
  if (loaded.orientation != 1) {
    loaded.picture = ApplyOrientation(loaded.picture, loaded.orientation);
  }
  if (loaded.resolution) host_->SetDPI(loaded.resolution->x, loaded.resolution->y);
  if (loaded.background) SetBackground(*loaded.background);
  last_load_ended_early_ = loaded.ended_early;
  host_->Bitmap() = std::move(loaded.picture);
  host_->Update();
  host_->ImageChange();
}

bool IsMetafileName(const std::string& file_name) {
  const std::string extension = LowerCase(ExtractFileExt(file_name));
  for (std::string_view metafile : kMetafileExtensions) {
    if (extension == metafile) return true;
  }
  return false;
}

void TImageIO::LoadFromFile(const std::string& file_name) {
  if (host_ == nullptr) return;
  try {
    LoadByExtension(file_name);
  } catch (const EInvalidGraphic&) {
    // The extension may lie (a GIF saved as ".jpg"): the reader the content names gets the file,
    // and when it refuses too the extension's reader's message stands.
    const TFileReader reader = ReaderBySignature(file_name);
    if (reader == nullptr || reader == ExtensionReader(file_name)) throw;
    std::optional<TLoadedPicture> loaded;
    try {
      loaded = reader(file_name);
    } catch (const std::exception&) {
    }
    if (!loaded) throw;
    Accept(std::move(*loaded));
  }
}

void TImageIO::LoadByExtension(const std::string& file_name) {
  if (IsMetafileName(file_name)) return LoadMetafile(file_name);
  const std::string extension = LowerCase(ExtractFileExt(file_name));
  for (const TFormatBranch& branch : kBranches) {
    if (extension.empty() ||
        (extension != branch.extensions[0] && extension != branch.extensions[1])) {
      continue;
    }
    TLoadedPicture loaded = WithMessage(branch.message, branch.rule, [&] {
      if (branch.reader == nullptr) throw EInvalidGraphic(branch.message);
      return branch.reader(file_name);
    });
    Accept(std::move(loaded));
    return;
  }
  LoadFromFileBMP(file_name);
}

void TImageIO::LoadFromFileJpeg(const std::string& file_name) {
  if (host_ == nullptr) return;
  TLoadedPicture loaded = WithMessage(kUnrecognizedJpeg, TFailureRule::kCodecErrors,
                                      [&] { return ReadJPEGFile(file_name); });
  Accept(std::move(loaded));
}

int TImageIO::LoadFromFileTIFF(const std::string& file_name, int page_index) {
  if (host_ == nullptr) return 0;
  TTIFFFilePage page = WithMessage(kUnrecognizedTiff, TFailureRule::kCodecErrors,
                                   [&] { return ReadTIFFFilePage(file_name, page_index); });
  if (page.loaded) Accept(std::move(*page.loaded));
  return page.page_count;
}

void TImageIO::LoadFromFileBMP(const std::string& file_name) {
  if (host_ == nullptr) return;
  TLoadedPicture loaded = WithMessage(kUnrecognizedBmp, TFailureRule::kCodecErrors,
                                      [&] { return ReadBMPFile(file_name); });
  Accept(std::move(loaded));
}

void TImageIO::LoadMetafile(const std::string& file_name) {
  TPicture picture = WithMessage(kUnrecognizedMetafile, TFailureRule::kEveryError, [&] {
    if (!metafile_canvas_factory_) throw EInvalidGraphic(kUnrecognizedMetafile);
    const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedMetafile);
    const TMetafileSize size = MetafileSize(bytes);
    // The picture is one pixel narrower and lower than the metafile.
    const int64_t width = size.width - 1;
    const int64_t height = size.height - 1;
    if (width < 0 || height < 0) throw EInvalidGraphic(kUnrecognizedMetafile);
    TPicture result;
    if (width > 0 && height > 0) {
      if (!PictureSizeAllowed(width, height)) throw EInvalidGraphic(kUnrecognizedMetafile);
      result.SetSize(static_cast<int>(width), static_cast<int>(height));
      // Areas the metafile does not paint show the background.
      Fill(result, host_->ResolveColor(Background()));
      const std::unique_ptr<TMetafileCanvas> canvas = metafile_canvas_factory_(result);
      if (!canvas) throw EInvalidGraphic(kUnrecognizedMetafile);
      PlayMetafile(bytes, *canvas);
    }
    return result;
  });
  Accept({std::move(picture), std::nullopt, std::nullopt});
}

void TImageIO::LoadFromStreamJpeg(TMemoryStream& stream) {
  if (host_ == nullptr) return;
  TJpegImage image = DecodeFramedJpeg(stream);
  TLoadedPicture loaded{std::move(image.picture), image.resolution, std::nullopt};
  loaded.ended_early = image.ended_early;
  Accept(std::move(loaded));
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
  const TGIFWriteOptions options{
      use_lzw_, interlaced, delay, transparent, left, top, host_->ResolveColor(Background())};
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

}  // namespace sk
