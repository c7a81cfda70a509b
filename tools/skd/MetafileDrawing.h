// Metafile drawing for skd. It needs Qt's graphics system, whose libraries take longer to load
// than most commands take to run, so it lives in a module of its own (skd-metafile.so) that skd
// loads only when it reads a metafile.
#pragma once

#include <memory>

#include "imaging/MetafileCanvas.h"
#include "imaging/Picture.h"

namespace sk::skd {

class TMetafileDrawing {
 public:
  virtual ~TMetafileDrawing() = default;
  // A canvas that paints onto picture, which must outlive it.
  virtual std::unique_ptr<TMetafileCanvas> MakeCanvas(TPicture& picture) = 0;
};

// Loads the module (beside skd, else where it is installed) and starts its drawing with the
// process's arguments, which must outlive the drawing. Raises std::runtime_error, naming the
// places tried, when the module cannot be loaded.
std::unique_ptr<TMetafileDrawing> StartMetafileDrawing(int& argc, char** argv);

}  // namespace sk::skd

// The module's entry point, found by this name.
extern "C" std::unique_ptr<sk::skd::TMetafileDrawing> skd_start_metafile_drawing(int& argc,
                                                                                 char** argv);
