// What a picture view keeps and the codecs fill (picture, resolution, background) and the hooks by
// which it hears of a new picture; plain C++, so the codecs and their tests need no window.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/Picture.h"

namespace sk {

class TPictureHost;

// Told when the host it watches is destroyed.
class THostObserver {
 public:
  virtual void HostDestroyed(TPictureHost& host) = 0;

 protected:
  ~THostObserver() = default;
};

class TPictureHost {
 public:
  TPictureHost() = default;
  TPictureHost(const TPictureHost&) = delete;
  TPictureHost& operator=(const TPictureHost&) = delete;
  // Tells every observer still registered that the host is gone.
  virtual ~TPictureHost();

  // The picture that loads replace and saves read.
  TPicture& Bitmap() { return bitmap_; }
  const TPicture& Bitmap() const { return bitmap_; }

  // Resolution in dots per inch: 0 by 0 until a JPEG (or TIFF or PCX) load sets it; other loads
  // leave it as it is.
  void SetDPI(int x, int y) {
    dpi_x_ = x;
    dpi_y_ = y;
  }
  int DpiX() const { return dpi_x_; }
  int DpiY() const { return dpi_y_; }

  // Colour value: red in the low byte, green in the second, blue in the third; with the high bit
  // set, a reference to the platform's system colour of that index (0x8000000F is button face).
  uint32_t Background() const { return background_; }
  virtual void SetBackground(uint32_t color) { background_ = color; }

  // Returns the colour as red + green x 256 + blue x 65536. System colour references are the
  // platform's business: a view overrides this; the base class knows no system colours and gives
  // black for them.
  virtual uint32_t ResolveColor(uint32_t color) const;

  // Called after a load has replaced the picture, Update first, then ImageChange (its size may
  // differ). The base class does nothing.
  virtual void Update() {}
  virtual void ImageChange() {}

  // Registers or removes an observer of the host's destruction; the host does not own it.
  void AddObserver(THostObserver* observer);
  void RemoveObserver(THostObserver* observer);

 private:
  TPicture bitmap_;
  int dpi_x_ = 0;
  int dpi_y_ = 0;
  uint32_t background_ = 0;
  std::vector<THostObserver*> observers_;
};

}  // namespace sk
