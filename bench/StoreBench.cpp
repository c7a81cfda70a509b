// Store benchmarks, each beside the floor it is measured against in the same run: open + close of
// a large container without changes against reading its index section; open + one add + close
// against one cp + sync of the container; reading one 400 KB item (in the process and as `skd get`)
// against SQLite reading a 400 KB row (in the process and as `sqlite3`); loading a large index,
// adding and flushing items, key lookup, and reading items cold and from the cache.
// Inputs are generated in a scratch folder ($SK_BENCH_DIR, default the temporary folder).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "store/KESList.h"

namespace {

namespace fs = std::filesystem;

std::string BenchDir() {
  const char* dir = std::getenv("SK_BENCH_DIR");
  const std::string path = dir ? dir : sk::TempDirectory() + "/stillkeep-bench";
  fs::create_directories(path);
  return path;
}

void PutLE32(std::ofstream& out, uint32_t v) {
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  out.write(bytes, 4);
}

std::string KeyName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "picture %07d", i);
  return name;
}

// The key of a 400 KB item that the large containers hold besides their `keys` items.
constexpr char kPortrait[] = "portrait";
constexpr int64_t kPortraitSize = 400 * 1024;

// Writes a container with `keys` items sharing `data_bytes` of data, and the 400 KB item
// kPortrait over the last bytes, laid out as a close writes it (index in descending key order),
// unless it exists already.
std::string MakeContainer(const std::string& name, int keys, int64_t data_bytes) {
  const std::string path = BenchDir() + "/" + name;
  if (fs::exists(path)) return path;
  std::ofstream out(path, std::ios::binary);
  out.write("KES\0", 4);
  PutLE32(out, static_cast<uint32_t>(data_bytes));
  std::vector<char> block(1 << 20);
  std::mt19937 random(7);
  for (char& c : block) c = static_cast<char>(random());
  for (int64_t left = data_bytes; left > 0; left -= static_cast<int64_t>(block.size())) {
    out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(left, block.size())));
  }
  std::string index;
  const int64_t body = data_bytes / keys;
  auto put32 = [&index](uint32_t v) {
    for (int s = 0; s < 32; s += 8) index += static_cast<char>(v >> s);
  };
  const bool portrait = data_bytes >= kPortraitSize;
  put32(static_cast<uint32_t>(keys + (portrait ? 1 : 0)));
  if (portrait) {
    index += kPortrait;
    index += '\0';
    put32(static_cast<uint32_t>(data_bytes - kPortraitSize));
    put32(static_cast<uint32_t>(kPortraitSize));
    put32(0);
  }
  for (int i = keys - 1; i >= 0; --i) {
    index += KeyName(i);
    index += '\0';
    put32(static_cast<uint32_t>(i * body));
    put32(static_cast<uint32_t>(body));
    put32(0);
  }
  out.write("IXS\0", 4);
  PutLE32(out, static_cast<uint32_t>(index.size()));
  out.write(index.data(), static_cast<std::streamsize>(index.size()));
  return path;
}

// Heap bytes in use, to measure what sort keys add to an index list or a store.
int64_t HeapInUse() { return static_cast<int64_t>(mallinfo2().uordblks); }

const sk::TCollator& Collator() {
  static const sk::TCollator collator("en_US");
  return collator;
}

std::string BigContainer() { return MakeContainer("big.skd", 100000, int64_t{1} << 30); }

// Reading the index section of the 1 GB container (header, seek, one read): the floor for an
// open and close that change nothing.
void BM_ReadIndexSection1GB(benchmark::State& state) {
  const std::string path = BigContainer();
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    uint8_t header[8];
    if (fd < 0 || ::pread(fd, header, 8, 0) != 8) state.SkipWithError("cannot read");
    const int64_t data = header[4] | header[5] << 8 | header[6] << 16 | int64_t{header[7]} << 24;
    uint8_t tag[8];
    if (::pread(fd, tag, 8, 8 + data) != 8) state.SkipWithError("cannot read");
    const int64_t length = tag[4] | tag[5] << 8 | tag[6] << 16 | int64_t{tag[7]} << 24;
    std::vector<uint8_t> index(static_cast<size_t>(length));
    if (::pread(fd, index.data(), index.size(), 16 + data) != length) {
      state.SkipWithError("cannot read");
    }
    benchmark::DoNotOptimize(index.data());
    ::close(fd);
  }
}
BENCHMARK(BM_ReadIndexSection1GB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Open and close of the 1 GB, 100,000-key container without changes.
void BM_OpenClose1GB(benchmark::State& state) {
  const std::string path = BigContainer();
  for (auto _ : state) {
    sk::TKES store(&Collator());
    store.SetFileName(path);
    store.SetFileName("");
  }
}
BENCHMARK(BM_OpenClose1GB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same as the first open of the container on this machine: the memo of verified key orders
// (in a folder of the benchmark's own, emptied before each open) does not know its index, so the
// open compares every adjacent pair of keys.
void BM_OpenClose1GBOrderUnknown(benchmark::State& state) {
  const std::string path = BigContainer();
  const std::string cache = BenchDir() + "/cache";
  const char* saved = std::getenv("XDG_CACHE_HOME");
  const std::string saved_value = saved ? saved : "";
  ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(cache);
    state.ResumeTiming();
    sk::TKES store(&Collator());
    store.SetFileName(path);
    store.SetFileName("");
  }
  fs::remove_all(cache);
  if (saved) {
    ::setenv("XDG_CACHE_HOME", saved_value.c_str(), 1);
  } else {
    ::unsetenv("XDG_CACHE_HOME");
  }
}
BENCHMARK(BM_OpenClose1GBOrderUnknown)->Unit(benchmark::kMillisecond)->UseRealTime();

// Open, add one 400 KB item and close a copy of the 1 GB container: the close writes the whole
// container anew (beside the old one, synced, renamed into place).
void BM_OpenAddClose1GB(benchmark::State& state) {
  const std::string path = BenchDir() + "/grow.skd";
  fs::copy_file(BigContainer(), path, fs::copy_options::overwrite_existing);
  const std::vector<uint8_t> body(kPortraitSize, 0x5A);
  int added = 0;
  for (auto _ : state) {
    sk::TKES store(&Collator());
    store.SetFileName(path);
    sk::TMemoryStream stream{std::vector<uint8_t>(body)};
    store.AddItem(stream, "added " + std::to_string(++added));
    store.SetFileName("");
  }
  fs::remove(path);
}
BENCHMARK(BM_OpenAddClose1GB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// One cp of the container and a sync of the copy: the floor for a close that writes it.
void BM_CpOnceSynced1GB(benchmark::State& state) {
  const std::string path = BigContainer();
  const std::string copy = BenchDir() + "/copy.skd";
  const std::string command = "cp '" + path + "' '" + copy + "' && sync --data '" + copy + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  fs::remove(copy);
}
BENCHMARK(BM_CpOnceSynced1GB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Reading the 400 KB item of the 1 GB store in the process: open, find, get, close.
void BM_GetPortrait1GB(benchmark::State& state) {
  const std::string path = BigContainer();
  for (auto _ : state) {
    sk::TKES store(&Collator());
    store.SetFileName(path);
    if (!store.FindKey(kPortrait)) state.SkipWithError("no portrait");
    sk::TMemoryStream out;
    store.GetItem(out);
    benchmark::DoNotOptimize(out.Bytes().data());
    store.SetFileName("");
  }
}
BENCHMARK(BM_GetPortrait1GB)->Unit(benchmark::kMillisecond)->UseRealTime();

// A SQLite database of the same shape: 100,000 rows sharing 1 GB and a 400 KB row.
std::string MakeDatabase() {
  const std::string path = BenchDir() + "/big.sqlite";
  if (fs::exists(path)) return path;
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=OFF; CREATE TABLE items(key TEXT PRIMARY KEY, body BLOB);"
               "BEGIN;", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO items VALUES(?, ?)", -1, &insert, nullptr);
  std::vector<uint8_t> body((int64_t{1} << 30) / 100000);
  std::mt19937 random(7);
  auto put = [&](const std::string& key, const std::vector<uint8_t>& bytes) {
    sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 2, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  };
  for (int i = 0; i < 100000; ++i) {
    for (uint8_t& b : body) b = static_cast<uint8_t>(random());
    put(KeyName(i), body);
  }
  put(kPortrait, std::vector<uint8_t>(kPortraitSize, 0x5A));
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return path;
}

// SQLite reading the 400 KB row in the process: open, select, copy the blob, close.
void BM_SqliteRow400KB(benchmark::State& state) {
  const std::string path = MakeDatabase();
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT body FROM items WHERE key = ?", -1, &select, nullptr);
    sqlite3_bind_text(select, 1, kPortrait, -1, SQLITE_STATIC);
    if (sqlite3_step(select) != SQLITE_ROW) state.SkipWithError("no row");
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(select, 0));
    std::vector<uint8_t> out(blob, blob + sqlite3_column_bytes(select, 0));
    benchmark::DoNotOptimize(out.data());
    sqlite3_finalize(select);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_SqliteRow400KB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same two reads as processes: `skd get` against the sqlite3 shell writing the row to a file.
void RunCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError(command.c_str());
  }
}
void BM_SkdGetPortrait1GB(benchmark::State& state) {
  RunCommand(state, "'" SKD_PATH "' get '" + BigContainer() + "' " + kPortrait + " -o '" +
                        BenchDir() + "/portrait.out'");
}
void BM_Sqlite3ShellRow400KB(benchmark::State& state) {
  RunCommand(state, "sqlite3 -readonly '" + MakeDatabase() + "' \"SELECT writefile('" + BenchDir() +
                        "/row.out', body) FROM items WHERE key = '" + kPortrait + "'\" >/dev/null");
}
BENCHMARK(BM_SkdGetPortrait1GB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sqlite3ShellRow400KB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file copied twice with cp: the floor for one unpack plus one rewrite. The synced
// variant also flushes the second copy to disk, as a close does with the new container.
void CpTwice(benchmark::State& state, bool synced) {
  const std::string path = BigContainer();
  const std::string copy = BenchDir() + "/copy.skd";
  std::string command = "cp '" + path + "' '" + copy + "' && cp '" + path + "' '" + copy + "'";
  if (synced) command += " && sync --data '" + copy + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  fs::remove(copy);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
void BM_CpTwice1GB(benchmark::State& state) { CpTwice(state, false); }
void BM_CpTwiceSynced1GB(benchmark::State& state) { CpTwice(state, true); }
BENCHMARK(BM_CpTwice1GB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CpTwiceSynced1GB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Loading an index of 1,000,000 keys (open read-only, so close does not rewrite), with the memory
// the open store holds per key (large blocks are mapped, so they count too).
void BM_LoadIndex1M(benchmark::State& state) {
  const std::string path = MakeContainer("million.skd", 1000000, 1000000);
  const auto memory = [] {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
  };
  for (auto _ : state) {
    const int64_t before = memory();
    sk::TKES store(&Collator());
    store.SetReadOnly(true);
    store.SetFileName(path);
    state.PauseTiming();
    state.counters["bytes_per_key"] = static_cast<double>(memory() - before) / 1e6;
    store.SetFileName("");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadIndex1M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// FindKey in a store of 1,000,000 keys, with the heap the sort keys made by the searches add,
// per key of the store.
void BM_FindKey1M(benchmark::State& state) {
  const std::string path = MakeContainer("million.skd", 1000000, 1000000);
  sk::TKES store(&Collator());
  store.SetReadOnly(true);
  store.SetFileName(path);
  std::mt19937 random(3);
  std::vector<std::string> keys;
  for (int i = 0; i < 4096; ++i) keys.push_back(KeyName(static_cast<int>(random() % 1000000)));
  size_t i = 0;
  const int64_t before = HeapInUse();
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.FindKey(keys[i++ & 4095]));
  }
  state.counters["heap_bytes_added_per_key"] = static_cast<double>(HeapInUse() - before) / 1e6;
}
BENCHMARK(BM_FindKey1M)->Unit(benchmark::kNanosecond);

// A camera file name such as IMG_20240612_183455, one second after the one before.
std::string CameraKeyName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "IMG_2024%02d%02d_%02d%02d%02d", 1 + i / 2419200 % 12,
                1 + i / 86400 % 28, i / 3600 % 24, i / 60 % 60, i % 60);
  return name;
}

// A 255-byte key: mixed-case words with accented letters, then the number.
std::string LongKeyName(int i) {
  std::string key;
  while (key.size() < 240) key += "Sommerferien \xC4gypten K\xFCste Stra\xDF" "e \xE9t\xE9 ";
  key.resize(240);
  return key + KeyName(i);
}

// Searching once for every key of an index list made by unsorted adds, then reversed, which
// makes every key's sort key: the time per key, the heap the list of records takes per key, and
// the heap the sort keys add per key (with the allocator's overhead).
template <class MakeKey>
void SortKeysOfAll(benchmark::State& state, MakeKey make_key) {
  const int keys = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const int64_t empty = HeapInUse();
    auto list = std::make_unique<sk::TIndexList>(&Collator());
    list->SetCapacity(keys);
    for (int i = keys - 1; i >= 0; --i) list->Add(make_key(i), sk::TIndex{});
    list->ReverseAndSort();
    const int64_t before = HeapInUse();
    state.counters["list_heap_bytes_per_key"] = static_cast<double>(before - empty) / keys;
    state.ResumeTiming();
    int position = 0;
    for (int i = 0; i < keys; ++i) benchmark::DoNotOptimize(list->Find(list->Key(i), position));
    state.PauseTiming();
    state.counters["sort_key_heap_bytes_per_key"] =
        static_cast<double>(HeapInUse() - before) / keys;
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys);
}
void BM_SortKeysOfAll(benchmark::State& state) { SortKeysOfAll(state, KeyName); }
void BM_SortKeysOfAllCamera(benchmark::State& state) { SortKeysOfAll(state, CameraKeyName); }
void BM_SortKeysOfAllLong(benchmark::State& state) { SortKeysOfAll(state, LongKeyName); }
BENCHMARK(BM_SortKeysOfAll)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortKeysOfAllCamera)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortKeysOfAllLong)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Making the sort key of one key, as each search does for the key it looks for.
void BM_SortKey(benchmark::State& state) {
  const std::string key = KeyName(123456);
  for (auto _ : state) benchmark::DoNotOptimize(Collator().SortKey(key, false));
}
BENCHMARK(BM_SortKey)->Unit(benchmark::kNanosecond);

std::vector<uint8_t> PictureLike(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(seed);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// AddItem + Flush of 1,000 items of 400 KB each into a new store.
void BM_AddFlush1000x400KB(benchmark::State& state) {
  const std::vector<uint8_t> body = PictureLike(400 * 1024, 1);
  for (auto _ : state) {
    const std::string path = BenchDir() + "/adds.skd";
    fs::remove(path);
    sk::TKES store(&Collator());
    store.SetFileName(path);
    for (int i = 0; i < 1000; ++i) {
      sk::TMemoryStream stream{std::vector<uint8_t>(body)};
      store.AddItem(stream, KeyName(i));
      store.Flush();
    }
    state.PauseTiming();
    store.SetFileName("");
    fs::remove(path);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * 1000 * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_AddFlush1000x400KB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// GetItem of a 400 KB item from the data file (cache disabled) and from the cache.
void GetItem(benchmark::State& state, bool cached, bool compressed) {
  const std::string path = BenchDir() + "/get.skd";
  fs::remove(path);
  sk::TKES store(&Collator());
  store.SetFileName(path);
  store.SetCompression(compressed);
  store.SetCacheSize(cached ? 64 << 20 : 0);
  std::vector<uint8_t> body = PictureLike(400 * 1024, 2);
  std::fill(body.begin(), body.begin() + body.size() / 2, uint8_t{0x40});  // half compressible
  sk::TMemoryStream stream{std::move(body)};
  store.AddItem(stream, "item");
  store.Flush();
  for (auto _ : state) {
    sk::TMemoryStream out;
    store.GetItem(out);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(state.iterations() * 400 * 1024);
  store.SetFileName("");
  fs::remove(path);
}
void BM_GetItemCold(benchmark::State& state) { GetItem(state, false, false); }
void BM_GetItemColdCompressed(benchmark::State& state) { GetItem(state, false, true); }
void BM_GetItemCached(benchmark::State& state) { GetItem(state, true, false); }
BENCHMARK(BM_GetItemCold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetItemColdCompressed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetItemCached)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
