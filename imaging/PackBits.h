// PackBits run-length decoding (TIFF 6.0, section 9), one row at a time.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/ByteReader.h"

namespace sk {

// Fills row from the control bytes at the reader's position: a control byte n from 0 to 127
// copies the next n + 1 bytes, one from -127 to -1 repeats the next byte 1 - n times, -128 is
// skipped. The reader is left after the last run of the row. A run that crosses the row's end, or
// data that ends before the row is full, raises EInvalidGraphic(data.Message()).
void UnpackBitsRow(TByteReader& data, std::span<uint8_t> row);

}  // namespace sk
