// The metafile canvas drawn with QPainter straight onto a picture's rows.
#pragma once

#include <memory>

#include "imaging/MetafileCanvas.h"
#include "imaging/Picture.h"

namespace sk {

// A canvas that paints onto the picture (which must outlive it) with anti-aliased QPainter
// drawing. Text needs a QGuiApplication; shapes and pictures do not.
std::unique_ptr<TMetafileCanvas> MakeQtMetafileCanvas(TPicture& picture);

}  // namespace sk
