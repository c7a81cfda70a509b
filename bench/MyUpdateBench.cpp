// Showing a stored picture in the main window (MyUpdate: get the item, decode it, fit it, paint
// it offscreen) against decoding the same JPEG bytes alone with djpeg, in one run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

#include "app/Main.h"
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

// A 4000 x 3000 photo-like picture: smooth gradients, a few soft shapes and some noise.
sk::TPicture Photo() {
  sk::TPicture picture(4000, 3000);
  std::mt19937 random(5);
  for (int y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      const double shade = 0.5 + 0.5 * std::sin(x / 300.0) * std::cos(y / 200.0);
      const int noise = static_cast<int>(random() % 9) - 4;
      row[3 * x] = static_cast<uint8_t>(std::clamp(static_cast<int>(255 * shade) + noise, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(x * 255 / 4000 + noise, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(y * 255 / 3000 + noise, 0, 255));
    }
  }
  return picture;
}

// Makes the store (one framed JPEG at the stored quality) and the same JPEG as a plain file.
void MakeInputs() {
  static bool made = false;
  if (made) return;
  made = true;
  sk::TMemoryStream stream;
  sk::EncodeFramedJpeg(stream, Photo(), {300, 300}, 75);
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
