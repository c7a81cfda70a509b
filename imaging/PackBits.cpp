// PackBits run-length decoding.
#include "imaging/PackBits.h"

#include <cstring>

namespace sk {

void UnpackBitsRow(TByteReader& data, std::span<uint8_t> row) {
  size_t filled = 0;
  while (filled < row.size()) {
    const int8_t control = static_cast<int8_t>(data.U8());
    if (control == -128) continue;
    const size_t room = row.size() - filled;
    if (control >= 0) {
      const size_t count = static_cast<size_t>(control) + 1;
      if (count > room) data.Fail();
      data.ReadInto(row.subspan(filled, count));
      filled += count;
    } else {
      const size_t count = static_cast<size_t>(1 - control);
      if (count > room) data.Fail();
      std::memset(row.data() + filled, data.U8(), count);
      filled += count;
    }
  }
}

}  // namespace sk
