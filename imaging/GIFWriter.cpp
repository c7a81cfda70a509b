// GIF writer: header, a 256-entry global colour table led by the background, the graphic control
// extension, the image descriptor, the coded image data and the trailer.
#include "imaging/GIFWriter.h"

#include <vector>

#include "imaging/ColorQuant.h"
#include "imaging/GIFFormat.h"
#include "imaging/GIFLZW.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr int kMaxGIFSide = 65535;
constexpr int kWriterColors = 255;  // entry 0 of the table is the background

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

void WriteGIF(TByteSink& sink, const TPicture& picture, const TGIFWriteOptions& options) {
  const int width = picture.Width();
  const int height = picture.Height();
  if (width > kMaxGIFSide || height > kMaxGIFSide) throw EInvalidGraphic(kGIFTooLarge);
  const bool interlaced = options.use_lzw && options.interlaced;

  TQuantizedPicture quantized = OctQuantize(picture, kWriterColors);

  std::vector<uint8_t> head;
  head.reserve(13 + 768 + 8 + 10);
  head.insert(head.end(), {'G', 'I', 'F', '8', '9', 'a'});
  Put16(head, static_cast<uint16_t>(width));
  Put16(head, static_cast<uint16_t>(height));
  // A global colour table of 256 entries, 8 bits of colour resolution, not sorted.
  head.insert(head.end(), {static_cast<uint8_t>(gif::kColorTableFlag | 0x77), 0, 0});
  const uint32_t background = options.background;
  head.insert(head.end(), {static_cast<uint8_t>(background), static_cast<uint8_t>(background >> 8),
                           static_cast<uint8_t>(background >> 16)});
  for (size_t i = 1; i < 256; ++i) {
    const TRgb color = i <= quantized.palette.size() ? quantized.palette[i - 1] : TRgb{};
    head.insert(head.end(), {color.red, color.green, color.blue});
  }
  head.insert(head.end(),
              {gif::kExtensionIntroducer, gif::kGraphicControlLabel, 4,
               static_cast<uint8_t>(gif::kDisposeToBackground |
                                    (options.transparent ? gif::kTransparencyFlag : 0))});
  Put16(head, options.delay);
  head.insert(head.end(), {0, 0});  // transparent colour index 0, block terminator
  head.push_back(gif::kImageSeparator);
  Put16(head, options.left);
  Put16(head, options.top);
  Put16(head, static_cast<uint16_t>(width));
  Put16(head, static_cast<uint16_t>(height));
  head.push_back(interlaced ? gif::kInterlaceFlag : 0);
  sink.Write(head);

  // Palette entry i of the quantiser is colour-table entry i + 1.
  for (uint8_t& index : quantized.indexes) ++index;
  if (options.use_lzw) {
    EncodeGIFLZW(sink, quantized.indexes, width, height, interlaced);
  } else {
    EncodeGIFRunLength(sink, quantized.indexes);
  }
  const uint8_t trailer = gif::kTrailer;
  sink.Write({&trailer, 1});
}

}  // namespace sk
