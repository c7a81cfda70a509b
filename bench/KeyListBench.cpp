// The main window with small and large stores, in one run: from start to the first picture shown
// (auto-load of the last store), one add, one delete, for stores of 10 and 100,000 keys, each on
// its own and side by side; and the add's own decoding and encoding alone, which the window cannot
// avoid.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/KeyListBox.h"
#include "app/MainForm.h"
#include "app/NameDLG.h"
#include "app/ScriptedPrompts.h"
#include "bench/BenchPictures.h"
#include "imaging/ImageIO.h"
#include "platform/qt/Registry.h"
#include "vault/AddPicture.h"
#include "view/Image.h"

namespace {

// The pictures and stores live in a folder of the current directory, not of the temporary folder:
// a user's pictures are not where the store keeps its working files, and the window's folder views
// watch the folders they show, so a folder inside the temporary one would have them examine every
// working file a command writes.
QTemporaryDir& Folder() {
  static QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/keylist_bench-XXXXXX"));
  return dir;
}

QString FolderPath(const QString& name) {
  return Folder().path() + "/" + name;
}
std::string FolderBytes(const QString& name) {
  return QFile::encodeName(FolderPath(name)).toStdString();
}

void AppendLE32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A store of count keys whose index records share one stored 640x480 picture, so that the 10-key
// and the 100,000-key store differ only in their keys (100,000 photos would not fit a benchmark's
// disk), written as a container directly; and the picture file that adds use.
QString MakeStore(int count) {
  const QString name = QStringLiteral("keys%1.skd").arg(count);
  if (QFile::exists(FolderPath(name))) return FolderPath(name);
  sk::TMemoryStream framed;
  sk::EncodeFramedJpeg(framed, sk::bench::PhotoLike(640, 480, 3), {96, 96}, 75);
  const std::vector<uint8_t> body(framed.Bytes().begin(), framed.Bytes().end());
  std::ofstream(FolderBytes(QStringLiteral("add.jpg")), std::ios::binary)
      .write(reinterpret_cast<const char*>(body.data()) + 12,
             static_cast<std::streamsize>(body.size() - 12));
  std::vector<uint8_t> index;
  AppendLE32(index, static_cast<uint32_t>(count));
  char key[32];
  // In descending key order, as a close writes the index.
  for (int i = count - 1; i >= 0; --i) {
    const int length = std::snprintf(key, sizeof key, "holiday %06d", i * 2);
    index.insert(index.end(), key, key + length + 1);  // with its terminating zero
    AppendLE32(index, 0);                              // offset
    AppendLE32(index, static_cast<uint32_t>(body.size()));
    AppendLE32(index, 0);  // flags: plain
  }
  std::vector<uint8_t> container = {'K', 'E', 'S', 0};
  AppendLE32(container, static_cast<uint32_t>(body.size()));
  container.insert(container.end(), body.begin(), body.end());
  container.insert(container.end(), {'I', 'X', 'S', 0});
  AppendLE32(container, static_cast<uint32_t>(index.size()));
  container.insert(container.end(), index.begin(), index.end());
  std::ofstream(FolderBytes(name), std::ios::binary)
      .write(reinterpret_cast<const char*>(container.data()),
             static_cast<std::streamsize>(container.size()));
  return FolderPath(name);
}

QString RegistryFor(const QString& store, bool auto_load) {
  const QString file =
      FolderPath(QStringLiteral("registry-%1.json").arg(QFileInfo(store).baseName()));
  QFile::remove(file);
  sk::TRegistry registry(file);
  registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Preferences"), true);
  registry.WriteInteger(QStringLiteral("AutoStart"), auto_load ? 1 : 0);
  registry.CloseKey();
  registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Menu"), true);
  registry.WriteString(QStringLiteral("F0"), store);
  return file;
}

// Starts the window as the program does, up to the first picture painted: the last store is
// loaded automatically (registry: the settings file that names it).
std::unique_ptr<sk::TMainForm> StartWindow(sk::TScriptedPrompts& prompts, const QString& registry) {
  auto form = std::make_unique<sk::TMainForm>(prompts, registry);
  form->resize(1024, 768);
  form->show();
  form->FormShow();  // what the queued start-up call runs
  form->Image().repaint();
  return form;
}

void BM_StartToFirstPicture(benchmark::State& state) {
  const QString store = MakeStore(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const QString registry = RegistryFor(store, true);
    sk::TScriptedPrompts prompts;
    std::unique_ptr<sk::TMainForm> form = StartWindow(prompts, registry);
    if (form->KeyList().currentRow() != 0) state.SkipWithError("no picture shown");
    state.PauseTiming();
    form.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstPicture)
    ->Arg(10)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15)
    ->UseRealTime();

struct TOpenWindow {
  sk::TScriptedPrompts prompts;
  std::unique_ptr<sk::TMainForm> form;
  explicit TOpenWindow(const QString& store) {
    form = std::make_unique<sk::TMainForm>(prompts, RegistryFor(store, false));
    form->resize(1024, 768);
    form->show();
    // Through the open dialog, which also creates a store that does not exist yet.
    prompts.QueueOpenStore(store);
    form->OpenStore();
    Settle();
  }

  // Adds the bench's picture under name through the "Load" command, as a user does. The first
  // Flush of a session writes the whole index (later ones append to its log), so benchmarks add
  // once before the timed adds and deletes; that first add's cost is BM_FirstAddOfASession's.
  void AddPictureNamed(const QString& name) {
    prompts.QueueOpenPictures({FolderPath(QStringLiteral("add.jpg"))});
    prompts.QueueDialog([name](QDialog& dialog) {
      dynamic_cast<sk::TNameDLG&>(dialog).Edit().setText(name);
      return static_cast<int>(QDialog::Accepted);
    });
    form->AddPicture();
  }

  // Lets the window finish what it started in the background (the folder views' file system
  // models report from their own threads), as it has long done when a user first clicks: timed
  // commands then measure their own work, not start-up work that happens to be delivered at their
  // first progress step.
  static void Settle() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
  }
};

// A copy of store under name in the bench's folder, made afresh, for benchmarks that change it.
QString FreshCopy(const QString& store, const QString& name) {
  const QString copy = FolderPath(name);
  QFile::remove(copy);
  QFile::copy(store, copy);
  return copy;
}

void BM_AddOnePicture(benchmark::State& state) {
  const QString store = MakeStore(static_cast<int>(state.range(0)));
  // The store grows by the benchmark's adds: work on a copy.
  const QString copy = FreshCopy(store, QStringLiteral("add-copy.skd"));
  TOpenWindow window(copy);
  window.AddPictureNamed(QStringLiteral("holiday first"));
  int n = 0;
  for (auto _ : state) {
    window.AddPictureNamed(QStringLiteral("holiday %1 new").arg(++n, 6, 10, QLatin1Char('0')));
    window.form->Image().repaint();
  }
  window.form.reset();
  QFile::remove(copy);
}
BENCHMARK(BM_AddOnePicture)
    ->Arg(10)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

void BM_DeleteOnePicture(benchmark::State& state) {
  const QString store = MakeStore(static_cast<int>(state.range(0)));
  const QString copy = FreshCopy(store, QStringLiteral("delete-copy.skd"));
  TOpenWindow window(copy);
  window.AddPictureNamed(QStringLiteral("holiday first"));
  for (auto _ : state) {
    state.PauseTiming();
    window.form->KeyList().ClickRow(window.form->KeyList().count() / 2);
    // The window shows what the click changed (the list scrolled to the row, the picture)
    // before the delete, as it does for a user: that painting belongs to the click.
    QCoreApplication::processEvents();
    window.prompts.QueueButton(sk::TMsgDlgBtn::kYes);
    state.ResumeTiming();
    window.form->DeletePicture();
    window.form->Image().repaint();
  }
  window.form.reset();
  QFile::remove(copy);
}
BENCHMARK(BM_DeleteOnePicture)
    ->Arg(10)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The first add after opening the store, whose Flush writes the whole index and starts its log.
void BM_FirstAddOfASession(benchmark::State& state) {
  const QString store = MakeStore(static_cast<int>(state.range(0)));
  const QString name = QStringLiteral("first-add-copy.skd");
  const QString copy = FolderPath(name);
  for (auto _ : state) {
    state.PauseTiming();
    FreshCopy(store, name);
    auto window = std::make_unique<TOpenWindow>(copy);
    state.ResumeTiming();
    window->AddPictureNamed(QStringLiteral("holiday first"));
    window->form->Image().repaint();
    state.PauseTiming();
    window.reset();
    state.ResumeTiming();
  }
  QFile::remove(copy);
}
BENCHMARK(BM_FirstAddOfASession)
    ->Arg(10)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The same three commands for both stores side by side: each round times a start, an add and a
// delete on the 10-key store and then on the 100,000-key one, so that a machine's drift (other
// processes, frequency) weighs on both alike. Reports the median of each and the ratios the goal
// is about (100,000 keys against 10). The delete removes the key the round added, so that both
// stores keep their size.
double Milliseconds(std::chrono::steady_clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct TSideTimes {
  std::vector<double> start, add, remove;
};

double TimeStart(const QString& store) {
  const QString registry = RegistryFor(store, true);
  sk::TScriptedPrompts prompts;
  const auto begin = std::chrono::steady_clock::now();
  std::unique_ptr<sk::TMainForm> form = StartWindow(prompts, registry);
  const double elapsed = Milliseconds(std::chrono::steady_clock::now() - begin);
  if (form->KeyList().currentRow() != 0) throw std::runtime_error("no picture shown");
  return elapsed;
}

void TimeAddAndDelete(TOpenWindow& window, const QString& name, TSideTimes& times) {
  auto begin = std::chrono::steady_clock::now();
  window.AddPictureNamed(name);
  window.form->Image().repaint();
  times.add.push_back(Milliseconds(std::chrono::steady_clock::now() - begin));
  sk::TKeyListBox& list = window.form->KeyList();
  if (list.Text(list.currentRow()) != name) throw std::runtime_error("the add is not selected");
  // The added key is selected and shown; the window paints that before the user deletes it.
  QCoreApplication::processEvents();
  window.prompts.QueueButton(sk::TMsgDlgBtn::kYes);
  begin = std::chrono::steady_clock::now();
  window.form->DeletePicture();
  window.form->Image().repaint();
  times.remove.push_back(Milliseconds(std::chrono::steady_clock::now() - begin));
}

void BM_SideBySide(benchmark::State& state) {
  const int rounds = static_cast<int>(state.range(0));
  const QString small = MakeStore(10), large = MakeStore(100000);
  QString small_copy, large_copy;
  for (auto _ : state) {
    TSideTimes small_times, large_times;
    try {
      for (int round = 0; round < rounds; ++round) {
        small_times.start.push_back(TimeStart(small));
        large_times.start.push_back(TimeStart(large));
      }
      small_copy = FreshCopy(small, QStringLiteral("side-10.skd"));
      large_copy = FreshCopy(large, QStringLiteral("side-100000.skd"));
      TOpenWindow small_window(small_copy), large_window(large_copy);
      small_window.AddPictureNamed(QStringLiteral("holiday first"));
      large_window.AddPictureNamed(QStringLiteral("holiday first"));
      for (int round = 0; round < rounds; ++round) {
        const QString name = QStringLiteral("holiday %1 new").arg(round, 6, 10, QLatin1Char('0'));
        TimeAddAndDelete(small_window, name, small_times);
        TimeAddAndDelete(large_window, name, large_times);
      }
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
      break;
    }
    const auto report = [&state](const char* what, const std::vector<double>& ten,
                                 const std::vector<double>& many) {
      state.counters[std::string(what) + "_10_ms"] = Median(ten);
      state.counters[std::string(what) + "_100k_ms"] = Median(many);
      state.counters[std::string(what) + "_ratio"] = Median(many) / Median(ten);
    };
    report("start", small_times.start, large_times.start);
    report("add", small_times.add, large_times.add);
    report("delete", small_times.remove, large_times.remove);
  }
  QFile::remove(small_copy);
  QFile::remove(large_copy);
}
BENCHMARK(BM_SideBySide)->Arg(31)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The program's batch add of 200 photos of 1600 x 1200 (eight different pictures, copied), through
// the "&Batch" menu's workflow with its progress window, into a new store each time.
void BM_BatchAdd200Photos(benchmark::State& state) {
  QStringList files;
  for (int i = 0; i < 200; ++i) {
    const QString name = QStringLiteral("batch%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    if (!QFile::exists(FolderPath(name))) {
      sk::TMemoryStream framed;
      sk::EncodeFramedJpeg(framed, sk::bench::PhotoLike(1600, 1200, 20 + i % 8), {96, 96}, 92);
      std::ofstream(FolderBytes(name), std::ios::binary)
          .write(reinterpret_cast<const char*>(framed.Bytes().data()) + 12,
                 static_cast<std::streamsize>(framed.Size() - 12));
    }
    files.append(FolderPath(name));
  }
  for (auto _ : state) {
    state.PauseTiming();
    const QString store = FolderPath(QStringLiteral("batch.skd"));
    QFile::remove(store);
    TOpenWindow window(store);
    window.prompts.QueueOpenPictures(files);
    state.ResumeTiming();
    window.form->AddPictures();
    state.PauseTiming();
    const bool all_added = window.form->KeyList().count() == 200;
    for (const QString& error : window.prompts.Errors())
      std::fprintf(stderr, "%s\n", qPrintable(error));
    window.form.reset();
    state.ResumeTiming();
    if (!all_added) {
      state.SkipWithError("not every photo was added");
      break;
    }
  }
}
BENCHMARK(BM_BatchAdd200Photos)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// What an add costs before the store and the window are involved: reading the file and encoding
// the framed JPEG.
void BM_AddEncodingAlone(benchmark::State& state) {
  MakeStore(10);
  sk::TOffscreenPicture picture;
  for (auto _ : state) {
    sk::TMemoryStream stream;
    sk::EncodePictureFile(picture, FolderBytes(QStringLiteral("add.jpg")), 75, stream);
  }
}
BENCHMARK(BM_AddEncodingAlone)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
