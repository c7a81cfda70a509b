// Replays kept inputs through a fuzz target's entry point without libFuzzer, so that the normal
// test build (gcc, sanitizers) checks every crasher and seed once per run. Arguments are files or
// folders (every regular file in a folder, in name order); each is read whole and passed to
// LLVMFuzzerTestOneInput. A target that finds a fault aborts, which fails the test. Fails also
// when an argument cannot be read or nothing at all was replayed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
  std::fflush(stdout);
  // A heap block of exactly the file's size, so that the sanitizers see a read past its end
  // (a vector's capacity may be larger).
  const auto exact = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  LLVMFuzzerTestOneInput(exact.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        ok = Replay(file) && ok;
        ++replayed;
      }
    } else {
      ok = Replay(path) && ok;
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "nothing to replay\n");
    return 1;
  }
  std::printf("replayed %d inputs\n", replayed);
  return ok ? 0 : 1;
}
