#include "tools/skd/MetafileDrawing.h"

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace sk::skd {
namespace {

constexpr char kModuleName[] = "skd-metafile.so";

// The folder skd runs from: the module lies beside it in a build tree, and at
// SK_METAFILE_MODULE_DIR from it when installed.
std::string ExecutableFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return ".";
  path.resize(static_cast<size_t>(length));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

std::unique_ptr<TMetafileDrawing> StartMetafileDrawing(int& argc, char** argv) {
  const std::string folder = ExecutableFolder();
  const std::vector<std::string> places = {folder + "/" + kModuleName,
                                           folder + "/" SK_METAFILE_MODULE_DIR "/" + kModuleName};
  std::string failures;
  for (const std::string& place : places) {
    // Never unloaded: Qt's graphics system cannot leave a running process.
    void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      failures += failures.empty() ? "" : "; ";
      failures += ::dlerror();
      continue;
    }
    auto* start = reinterpret_cast<decltype(&skd_start_metafile_drawing)>(
        ::dlsym(module, "skd_start_metafile_drawing"));
    if (start == nullptr) throw std::runtime_error(place + " is not skd's metafile module");
    return start(argc, argv);
  }
  throw std::runtime_error("cannot draw metafiles without " + std::string(kModuleName) + " (" +
                           failures + ")");
}

}  // namespace sk::skd
