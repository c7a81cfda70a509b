// WMF and EMF files as pictures: the format told by the content, the size in pixels, and
// playback onto a canvas.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/MetafileCanvas.h"
#include "imaging/MetafilePlayer.h"

namespace sk {

// The size of an EMF (by its header record) or else a WMF, in pixels (see EMFSize and WMFSize).
// Raises EInvalidGraphic(kUnrecognizedMetafile) for bytes that are neither.
TMetafileSize MetafileSize(std::span<const uint8_t> file);

// Plays an EMF or a WMF onto the canvas at its own size (see PlayEMF and PlayWMF).
void PlayMetafile(std::span<const uint8_t> file, TMetafileCanvas& canvas);

}  // namespace sk
