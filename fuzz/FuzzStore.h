// Shared by the store fuzz targets: a private temporary folder for the working files and a helper
// that writes a container there.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

namespace sk::fuzz {

// A folder of its own for this process, made once under /tmp and removed with its contents when
// the process exits normally; TMPDIR points into it so that the store's working files land there
// too, and so does XDG_CACHE_HOME.
inline const std::string& FuzzFolder() {
  struct TFolder {
    std::string path;
    TFolder() {
      char pattern[] = "/tmp/sk-fuzz-XXXXXX";
      if (::mkdtemp(pattern) == nullptr) std::abort();
      ::setenv("TMPDIR", pattern, 1);
      path = pattern;
      // The store's memo of verified key orders stays in here too, out of the user's cache.
      ::setenv("XDG_CACHE_HOME", (path + "/cache").c_str(), 1);
    }
    ~TFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const TFolder folder;
  return folder.path;
}

inline void WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  if (std::fclose(file) != 0) std::abort();
}

inline void AppendLE32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

}  // namespace sk::fuzz
