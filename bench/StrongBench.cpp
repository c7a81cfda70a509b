// Strong protection, in one run: deriving the key from a password (Argon2id, moderate limits),
// sealing and opening 400 KB bodies against `openssl enc -chacha20` of the same bytes, open + close
// of a 1 GB store strongly protected against the same store unprotected, and a 12-megapixel
// picture read and decoded from either kind. Inputs are generated in $SK_BENCH_DIR (default the
// temporary folder; about 4 GB free are needed).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "imaging/ImageIO.h"
#include "platform/Files.h"
#include "store/KES.h"
#include "store/StrongCipher.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kBody = 400 * 1024;
constexpr int kStoreBodies = 2600;   // about 1 GB
constexpr int kOpensslBodies = 256;  // 100 MB through one openssl process

std::string BenchDir() {
  const char* dir = std::getenv("SK_BENCH_DIR");
  const std::string path = (dir ? dir : sk::TempDirectory()) + "/stillkeep-strong-bench";
  fs::create_directories(path);
  return path;
}

std::vector<uint8_t> RandomBody(std::mt19937_64& random) {
  std::vector<uint8_t> body(kBody);
  for (size_t i = 0; i < body.size(); i += 8) {
    const uint64_t v = random();
    for (size_t j = 0; j < 8 && i + j < body.size(); ++j)
      body[i + j] = static_cast<uint8_t>(v >> (8 * j));
  }
  return body;
}

// The same items in an unprotected store and in a strongly protected one.
void MakeStores(const std::string& plain, const std::string& strong, int bodies,
                const std::function<std::vector<uint8_t>(int)>& body) {
  if (fs::exists(plain) && fs::exists(strong)) return;
  fs::remove(plain);
  fs::remove(strong);
  {
    sk::TKES store;
    store.SetFileName(plain);
    for (int i = 0; i < bodies; ++i) {
      sk::TMemoryStream stream(body(i));
      store.AddItem(stream, "picture " + std::to_string(i));
    }
  }
  fs::copy_file(plain, strong);
  sk::TKES store;
  store.SetFileName(strong);
  store.Password = "a long enough pass phrase";
  store.SetStrongProtection(true);
  store.SetFileName("");
}

void BM_DeriveKeyModerate(benchmark::State& state) {
  const sk::TSecretKey key = sk::TSecretKey::Random();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        sk::TStrongHeader::Seal("a long enough pass phrase", key, sk::ModerateKeyCost()));
  }
}
BENCHMARK(BM_DeriveKeyModerate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Seal400K(benchmark::State& state) {
  std::mt19937_64 random(1);
  const std::vector<uint8_t> body = RandomBody(random);
  const sk::TSecretKey key = sk::TSecretKey::Random();
  const std::vector<uint8_t> binding = sk::BodyBinding("picture 1", false);
  for (auto _ : state) benchmark::DoNotOptimize(sk::SealBytes(body, binding, key));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBody));
}
BENCHMARK(BM_Seal400K)->Unit(benchmark::kMicrosecond);

void BM_Open400K(benchmark::State& state) {
  std::mt19937_64 random(1);
  const sk::TSecretKey key = sk::TSecretKey::Random();
  const std::vector<uint8_t> binding = sk::BodyBinding("picture 1", false);
  const std::vector<uint8_t> sealed = sk::SealBytes(RandomBody(random), binding, key);
  for (auto _ : state) benchmark::DoNotOptimize(sk::OpenSealed(sealed, binding, key));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBody));
}
BENCHMARK(BM_Open400K)->Unit(benchmark::kMicrosecond);

// The reference: openssl's ChaCha20 (no authentication) over 256 such bodies in one process.
void BM_OpensslChaCha20(benchmark::State& state) {
  const std::string input = BenchDir() + "/bodies.bin";
  if (!fs::exists(input)) {
    std::mt19937_64 random(1);
    std::ofstream out(input, std::ios::binary);
    for (int i = 0; i < kOpensslBodies; ++i) {
      const std::vector<uint8_t> body = RandomBody(random);
      out.write(reinterpret_cast<const char*>(body.data()),
                static_cast<std::streamsize>(body.size()));
    }
  }
  const std::string command = "openssl enc -chacha20 -K " + std::string(64, '1') + " -iv " +
                              std::string(32, '2') + " -in " + input + " -out /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("openssl failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kOpensslBodies * kBody));
}
BENCHMARK(BM_OpensslChaCha20)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Open + close of the 1 GB store (arg 1: strongly protected, with the key derivation of its
// password; arg 0: unprotected).
void BM_OpenClose1GB(benchmark::State& state) {
  const std::string plain = BenchDir() + "/plain.skd", strong = BenchDir() + "/strong.skd";
  std::mt19937_64 random(3);
  const std::vector<uint8_t> body = RandomBody(random);
  MakeStores(plain, strong, kStoreBodies, [&](int i) {
    std::vector<uint8_t> b = body;
    b[0] = static_cast<uint8_t>(i);
    b[1] = static_cast<uint8_t>(i >> 8);
    return b;
  });
  const bool protect = state.range(0) == 1;
  for (auto _ : state) {
    sk::TKES store;
    store.Password = protect ? "a long enough pass phrase" : "";
    store.SetFileName(protect ? strong : plain);
    store.SetFileName("");
  }
}
BENCHMARK(BM_OpenClose1GB)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// FindKey, GetItem and decoding of a 12-megapixel photo stored at quality 75 (arg 1: from a
// strongly protected store; arg 0: unprotected), each store opened once.
void BM_ShowPicture12MP(benchmark::State& state) {
  const std::string plain = BenchDir() + "/photo-plain.skd";
  const std::string strong = BenchDir() + "/photo-strong.skd";
  static sk::TMemoryStream photo;
  if (photo.Size() == 0) {
    sk::EncodeFramedJpeg(photo, sk::bench::PhotoLike(4000, 3000, 12), {300, 300}, 75);
  }
  MakeStores(plain, strong, 1,
             [&](int) { return std::vector<uint8_t>(photo.Bytes().begin(), photo.Bytes().end()); });
  const bool protect = state.range(0) == 1;
  sk::TKES store;
  store.SetReadOnly(true);
  store.Password = protect ? "a long enough pass phrase" : "";
  store.SetFileName(protect ? strong : plain);
  sk::TPictureHost host;
  sk::TImageIO io;
  io.SetAttachedImage(&host);
  for (auto _ : state) {
    store.FindKey("picture 0");
    sk::TMemoryStream stream;
    store.GetItem(stream);
    io.LoadFromStreamJpeg(stream);
    // Every read goes to the store, not to its cache.
    store.SetCacheSize(store.CacheSize());
  }
}
BENCHMARK(BM_ShowPicture12MP)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
