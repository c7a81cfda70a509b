// Showing a stored picture in the main window (MyUpdate: get the item, decode it, fit it, paint
// it offscreen) against decoding the same JPEG bytes alone with djpeg, in one run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "app/MainForm.h"
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
  form.OpenRecent(QString::fromStdString(FolderPath("photos.skd")));
  QApplication::processEvents();
  for (auto _ : state) {
    form.MyUpdate();
    form.Image().repaint();
  }
  form.CloseCurrentStore();
}
BENCHMARK(BM_MyUpdate12MP)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// The store and decoder part of MyUpdate alone: FindKey, GetItem and LoadFromStreamJpeg into a
// picture host, without a window.
void BM_GetAndDecode12MP(benchmark::State& state) {
  MakeInputs();
  sk::TKES store;
  store.SetReadOnly(true);
  store.SetFileName(FolderPath("photos.skd"));
  sk::TPictureHost host;
  sk::TImageIO io;
  io.SetAttachedImage(&host);
  for (auto _ : state) {
    store.FindKey("photo");
    sk::TMemoryStream stream;
    store.GetItem(stream);
    io.LoadFromStreamJpeg(stream);
  }
}
BENCHMARK(BM_GetAndDecode12MP)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// The decoder alone on the same framed JPEG held in memory.
void BM_DecodeOnly12MP(benchmark::State& state) {
  MakeInputs();
  sk::TKES store;
  store.SetReadOnly(true);
  store.SetFileName(FolderPath("photos.skd"));
  store.FindKey("photo");
  sk::TMemoryStream item;
  store.GetItem(item);
  sk::TPictureHost host;
  sk::TImageIO io;
  io.SetAttachedImage(&host);
  for (auto _ : state) {
    item.Seek(0);
    io.LoadFromStreamJpeg(item);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(item.Size());
}
BENCHMARK(BM_DecodeOnly12MP)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

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
