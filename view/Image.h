// The picture component the main window places: a view joined with the input/output part that
// loads into its picture and saves from it, and the one processing operation the program uses.
#pragma once

#include <string>

#include "imaging/ImageIO.h"
#include "view/ImageView.h"

namespace sk {

enum class TNColors { nc8bit = 0, nc24bit = 1 };

class TImage : public TImageView {
  Q_OBJECT

 public:
  // The view, then its input/output part attached to it (LZW off).
  explicit TImage(QWidget* parent = nullptr);
  ~TImage() override;

  // The input/output part; its loads call this view's Update, then ImageChange.
  TImageIO& IO() { return io_; }

  // Fills the whole picture, its size unchanged, with Background (resolved), then Update and
  // ImageChange.
  void Clear();

  // Kept only; no visible effect.
  bool AutoUndo() const { return auto_undo_; }
  void SetAutoUndo(bool on) { auto_undo_ = on; }

  // The picture is always 24 bits per pixel: setting either value keeps it so, and this reads
  // nc24bit.
  TNColors NColors() const { return TNColors::nc24bit; }
  void SetNColors(TNColors colors);

  // The GIF writer's option, kept by the input/output part.
  bool UseLZW() const { return io_.UseLZW(); }
  void SetUseLZW(bool on) { io_.SetUseLZW(on); }

  // Forwarded to the input/output part; see TImageIO for contracts and exceptions.
  void LoadFromFile(const std::string& file_name) { io_.LoadFromFile(file_name); }
  void LoadFromStreamJpeg(TMemoryStream& stream) { io_.LoadFromStreamJpeg(stream); }
  void SaveToFileJpeg(const std::string& file_name, int quality) {
    io_.SaveToFileJpeg(file_name, quality);
  }
  void SaveToStreamJpeg(TMemoryStream& stream, int quality) {
    io_.SaveToStreamJpeg(stream, quality);
  }
  void SaveToFileGIF(const std::string& file_name, bool interlaced, uint16_t delay,
                     bool transparent, uint16_t left, uint16_t top) {
    io_.SaveToFileGIF(file_name, interlaced, delay, transparent, left, top);
  }
  void SaveToFileBMP(const std::string& file_name) { io_.SaveToFileBMP(file_name); }

 private:
  TImageIO io_;
  bool auto_undo_ = true;
};

}  // namespace sk
