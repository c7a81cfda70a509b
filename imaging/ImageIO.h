// Loading and saving pictures through TImageIO: the reader chosen by file extension, and the
// writers of JPEG, GIF and BMP files and of framed JPEG streams for the store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/JPEGFilter.h"
#include "imaging/JpegFrame.h"  // SaveToStreamJpeg and LoadFromStreamJpeg use its frame
#include "imaging/LoadedPicture.h"
#include "imaging/MetafileCanvas.h"
#include "imaging/PictureHost.h"
#include "platform/MemoryStream.h"

namespace sk {

// A picture format LoadFromFile reads, with the lower-case extensions that choose it; BMP, the
// reader of every other name, is listed with ".bmp".
struct TPictureFormat {
  std::string name;
  std::vector<std::string> extensions;
};

// The formats in the order of the reader table, BMP first.
std::vector<TPictureFormat> PictureFormats();

// True when LoadFromFile reads file_name as a metafile (by its lower-cased extension), which
// needs the injected painter.
bool IsMetafileName(const std::string& file_name);

class TImageIO : private THostObserver {
 public:
  TImageIO() = default;
  TImageIO(const TImageIO&) = delete;
  TImageIO& operator=(const TImageIO&) = delete;
  ~TImageIO();

  // The host whose picture loads fill and saves read, or null. Attaching registers for the host's
  // destruction, which detaches again. While nothing is attached every load and save does nothing.
  void SetAttachedImage(TPictureHost* host);
  TPictureHost* AttachedImage() const { return host_; }

  // The attached host's background colour, or this object's own (initially 0) while none is.
  uint32_t Background() const;
  void SetBackground(uint32_t color);

  // Whether the GIF writer compresses with LZW (true) or run lengths (false, the default).
  bool UseLZW() const { return use_lzw_; }
  void SetUseLZW(bool use_lzw) { use_lzw_ = use_lzw; }

  // The canvas that ".wmf" and ".emf" files are drawn through (the program's painter, which this
  // library does not link); without one they fail to load.
  void SetMetafileCanvasFactory(TMetafileCanvasFactory factory) {
    metafile_canvas_factory_ = std::move(factory);
  }

  // Loads a file, choosing the reader by the lower-cased extension first: ".jpg"/".jpeg" as
  // LoadFromFileJpeg; ".tif"/".tiff", ".pcx", ".gif" and ".wmf"/".emf"
  // raise EInvalidGraphic with "unrecognized TIFF", "unrecognized PCX", "unrecognized GIF" or
  // "unrecognized WMF or EMF" for every failure inside them, also a missing file; anything else,
  // also no extension, as LoadFromFileBMP. A metafile (EMF or WMF, told by its content) gives a
  // picture one pixel narrower and lower than its size, cleared to Background() before it is
  // drawn at its own size. A file is read whole (ReadPictureFile), so one larger than
  // kMaxPictureFileSize fails as its branch says.
  // When the extension's reader refuses the file (EInvalidGraphic), the file's first bytes are
  // looked at: a JPEG, GIF, TIFF or BMP signature hands the file to that format's reader; when
  // there is none, or that reader fails too, the extension's reader's failure is raised as above.
  // Other failures (EOSError from a reader that passes them on) are raised at once.
  // A picture whose file carries an orientation (a JPEG's EXIF tag) is turned as the file asks
  // (ApplyOrientation): every load from a file is for storing or converting, and the stored JPEG
  // carries no such tag.
  // A load replaces the picture whole, then calls the host's Update and ImageChange; a failed load
  // leaves the picture as it was.
  void LoadFromFile(const std::string& file_name);

  // True when the picture the last successful load from a file or stream put in place came from
  // data that ended before the picture did (a JPEG cut short: its lower part is filled in).
  bool LastLoadEndedEarly() const { return last_load_ended_early_; }

  // Loads a JPEG file, turned as its EXIF orientation asks, and sets the host's resolution from
  // it. A decoding failure raises EInvalidGraphic("unrecognized JPEG"); other errors (EOSError for
  // a missing file) pass unchanged.
  void LoadFromFileJpeg(const std::string& file_name);

  // Loads page page_index (0-based) of a TIFF file (see ReadTIFF; bilevel pages through
  // ExpandMonochrome), sets the host's resolution from it when the page gives one, and returns the
  // file's page count. A page index beyond the file's pages leaves the picture and the host as they
  // are. A file the reader refuses raises EInvalidGraphic("unrecognized TIFF"); a file that cannot
  // be opened raises its EOSError.
  int LoadFromFileTIFF(const std::string& file_name, int page_index);

  // Loads a BMP file (see ReadBMP); the resolution is left as it is. A malformed file raises
  // EInvalidGraphic("unrecognized BMP"); other errors pass unchanged.
  void LoadFromFileBMP(const std::string& file_name);

  // Decodes a JPEG from the stream's position: a JpegFrame there gives the length of the JPEG that
  // follows it, and the stream is left just after that JPEG; a raw JPEG is decoded from its first
  // byte and the stream is left where the decoder stopped reading. Sets the host's resolution.
  // Every failure raises EInvalidGraphic("unrecognized JPEG stream").
  void LoadFromStreamJpeg(TMemoryStream& stream);

  // Writes a JpegFrame and the picture as JPEG at the given quality and the host's resolution at
  // the stream's position, leaving the stream after the JPEG. Encoder failures raise
  // EInvalidGraphic(JpegLibraryMessage(code)), for instance for an empty picture.
  void SaveToStreamJpeg(TMemoryStream& stream, int quality);

  // Writes the picture as a JPEG file (no frame) at the given quality and the host's resolution.
  // Every save writes a new file beside the target and renames it over the target only once it is
  // complete: a failed save leaves an existing file untouched. The new file keeps the mode of the
  // file it replaces, or gets 0666 less the umask. File errors raise EOSError; encoder errors as
  // SaveToStreamJpeg.
  void SaveToFileJpeg(const std::string& file_name, int quality);

  // Writes the picture as a GIF file, safely as SaveToFileJpeg: quantised to at most 255 colours
  // with table entry 0 for Background(), LZW-compressed when UseLZW() else run-length coded.
  // A picture wider or taller than 65,535 pixels raises EInvalidGraphic(kGIFTooLarge).
  void SaveToFileGIF(const std::string& file_name, bool interlaced, uint16_t delay,
                     bool transparent, uint16_t left, uint16_t top);

  // Writes the picture as a BMP file, safely as SaveToFileJpeg: a picture of exactly two colours
  // as a 1-bit BMP whose palette holds them (the darker at index 0, see MakeMonochrome), any other
  // as an uncompressed 24-bit BMP. An empty picture raises EInvalidGraphic("unrecognized BMP").
  void SaveToFileBMP(const std::string& file_name);

 private:
  void HostDestroyed(TPictureHost& host) override;
  // Puts a loaded picture in place (turned as its orientation asks, with the resolution or
  // background its file carries) and tells the host.
  void Accept(TLoadedPicture loaded);
  void LoadMetafile(const std::string& file_name);
  // LoadFromFile by the extension alone.
  void LoadByExtension(const std::string& file_name);
  TResolution HostResolution() const;

  TPictureHost* host_ = nullptr;
  uint32_t own_background_ = 0;
  bool use_lzw_ = false;
  bool last_load_ended_early_ = false;
  TMetafileCanvasFactory metafile_canvas_factory_;
};

}  // namespace sk
