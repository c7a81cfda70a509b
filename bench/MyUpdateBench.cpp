// Showing a stored picture in the main window (MyUpdate: get the item, decode it, fit it, paint
// it offscreen) against decoding the same JPEG bytes alone with djpeg, in one run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "app/Main.h"
#include "bench/BenchPictures.h"
#include "app/ScriptedPrompts.h"
#include "imaging/ImageIO.h"
#include "store/KES.h"
#include "view/Image.h"

namespace {

QTemporaryDir& Folder() {
  static QTemporaryDir dir;
  return dir;
}

std::string FolderPath(const char* name) { return (Folder().path() + "/" + name).toStdString(); }

// Makes the store (one framed JPEG at the stored quality) and the same JPEG as a plain file.
void MakeInputs() {
  static bool made = false;
  if (made) return;
  made = true;
  sk::TMemoryStream stream;
  sk::EncodeFramedJpeg(stream, sk::bench::PhotoLike(4000, 3000, 12), {300, 300}, 75);
  std::ofstream(FolderPath("photo.jpg"), std::ios::binary)
      .write(reinterpret_cast<const char*>(stream.Bytes().data()) + 12,
             static_cast<std::streamsize>(stream.Size() - 12));
  sk::TKES store;
  store.SetFileName(FolderPath("photos.skd"));
  store.AddItem(stream, "photo");
  store.SetFileName("");
}

void BM_MyUpdate12MP(benchmark::State& state) {
  MakeInputs();
  sk::TScriptedPrompts prompts;
  sk::TMainForm form(prompts, Folder().path() + "/registry.json");
  form.resize(1024, 768);
  form.show();
  form.MRUMRUItemClick(QString::fromStdString(FolderPath("photos.skd")));
  QApplication::processEvents();
  for (auto _ : state) {
    form.MyUpdate();
    form.Image().repaint();
  }
  form.Close1Click();
}
BENCHMARK(BM_MyUpdate12MP)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_DjpegOnly12MP(benchmark::State& state) {
  MakeInputs();
  const std::string command = "djpeg -outfile /dev/null '" + FolderPath("photo.jpg") + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg failed");
  }
}
BENCHMARK(BM_DjpegOnly12MP)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
