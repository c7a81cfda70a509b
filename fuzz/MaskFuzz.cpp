// libFuzzer entry point for the file-name masks: the input is a mask list and a name separated by
// the first NUL byte. Every mask must compile or fail with EMaskError, matching must end, and a
// mask without wildcard or set characters must match its own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scan/Mask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view list = input.substr(0, split);
  const std::string_view name = split == std::string_view::npos ? "" : input.substr(split + 1);
  for (const std::string& text : sk::SplitMaskList(list)) {
    try {
      const sk::TMask mask(text);
      mask.Matches(name);
      if (text.find_first_of("*?[") == std::string::npos && !mask.Matches(text)) std::abort();
    } catch (const sk::EMaskError&) {
    }
  }
  return 0;
}
