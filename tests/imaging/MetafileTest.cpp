// The WMF and EMF record parsers, checked through the calls they make on a recording canvas:
// sizes, mapping, objects, state, paths, clipping, text, DIBs, and malformed files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/EMFReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/Metafile.h"
#include "imaging/WMFReader.h"
#include "tests/imaging/MetafileBuilder.h"
#include "tests/imaging/RecordingCanvas.h"

namespace sk {
namespace {

using test::Dib24;
using test::TEmfBuilder;
using test::TRecordingCanvas;
using test::TWmfBuilder;

using TCalls = std::vector<std::string>;

TRecordingCanvas Play(const std::vector<uint8_t>& bytes) {
  TRecordingCanvas canvas;
  PlayMetafile(bytes, canvas);
  return canvas;
}

// Drawing calls only (paths, text, pictures, clipping, save and restore).
TCalls Drawn(const TRecordingCanvas& canvas) {
  TCalls out;
  for (const std::string& call : canvas.Calls()) {
    for (const char* prefix : {"fill", "stroke", "text ", "picture", "clip", "save", "restore"}) {
      if (call.rfind(prefix, 0) == 0 && call.rfind("fillrule", 0) != 0) {
        out.push_back(call);
        break;
      }
    }
  }
  return out;
}

int32_t Lo(uint32_t color) {
  return static_cast<int32_t>(color & 0xFFFF);
}
int32_t Hi(uint32_t color) {
  return static_cast<int32_t>(color >> 16);
}

// ---- WMF record helpers (parameters in the file's reversed order) ----

TWmfBuilder& WmfPen(TWmfBuilder& b, int style, int width, uint32_t color) {
  return b.Record(0x02FA, {style, width, 0, Lo(color), Hi(color)});
}
TWmfBuilder& WmfBrush(TWmfBuilder& b, int style, uint32_t color, int hatch = 0) {
  return b.Record(0x02FC, {style, Lo(color), Hi(color), hatch});
}
TWmfBuilder& WmfSelect(TWmfBuilder& b, int index) {
  return b.Record(0x012D, {index});
}
TWmfBuilder& WmfRect(TWmfBuilder& b, int l, int t, int r, int bottom) {
  return b.Record(0x041B, {bottom, r, t, l});
}

// ---- EMF: a 378 x 189 pixel frame that is exactly the reference device's 378 x 189 pixels ----

TEmfBuilder Emf(uint16_t handles = 8) {
  return TEmfBuilder(0, 0, 10000, 5000, handles);
}
TEmfBuilder& EmfRect(TEmfBuilder& b, int l, int t, int r, int bottom) {
  return b.Record(43, {l, t, r, bottom});
}
TEmfBuilder& EmfBrush(TEmfBuilder& b, int index, uint32_t color) {
  return b.Record(39, {index, 0, color, 0});
}
TEmfBuilder& EmfSelect(TEmfBuilder& b, uint32_t index) {
  return b.Record(37, {index});
}

uint32_t FloatBits(float f) {
  uint32_t u = 0;
  std::memcpy(&u, &f, 4);
  return u;
}

// ---- Sizes ----

TEST(MetafileSizeTest, ComesFromThePlaceableBoxAt96DpiOrTheEmfFrame) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int64_t width, height;
  };
  const Case cases[] = {
      {"wmf 100 x 80 at 96 units per inch", TWmfBuilder(0, 0, 100, 80, 96).Bytes(), 100, 80},
      {"wmf box not at the origin", TWmfBuilder(-50, -40, 50, 40, 96).Bytes(), 100, 80},
      {"wmf twips round to the nearest", TWmfBuilder(0, 0, 1000, 800, 1440).Bytes(), 67, 53},
      {"wmf 1000 units per inch", TWmfBuilder(0, 0, 1000, 800, 1000).Bytes(), 96, 77},
      {"plain wmf takes its window extent", TWmfBuilder::Plain().Record(0x020C, {200, 300}).Bytes(),
       300, 200},
      {"emf 26.46 by 21.17 mm", TEmfBuilder(0, 0, 2646, 2117).Bytes(), 100, 80},
      {"emf frame not at the origin", TEmfBuilder(1000, 1000, 3540, 3540).Bytes(), 96, 96},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TMetafileSize size = MetafileSize(c.bytes);
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, c.height);
  }
}

// ---- WMF ----

TEST(WMFReaderTest, DrawsShapesThroughTheWindowOntoThePicture) {
  // 1000 x 800 units at 960 per inch: 100 x 80 pixels, a tenth of a pixel per unit.
  TWmfBuilder b(0, 0, 1000, 800, 960);
  b.Record(0x020B, {100, 100});  // window origin y, x
  b.Record(0x020C, {800, 1000});
  WmfRect(b, 100, 100, 600, 500);
  WmfPen(b, 0, 20, 0x0000FF);
  WmfSelect(b, 0);
  b.Record(0x0214, {150, 200});                         // move to y, x
  b.Record(0x0213, {150, 700});                         // line to
  b.Record(0x0324, {3, 100, 900, 300, 900, 200, 700});  // polygon count, x, y...
  const TRecordingCanvas canvas = Play(b.Bytes());
  EXPECT_EQ(canvas.Calls(), (TCalls{
                                "pen solid 0 #000000",
                                "brush solid #ffffff",
                                "bkcolor #ffffff",
                                "bkmode opaque",
                                "fillrule alternate",
                                "fillstroke M0,0 L50,0 L50,40 L0,40 Z",
                                "pen solid 2 #ff0000",
                                "stroke M10,5 L60,5",
                                "fillstroke M0,80 L20,80 L10,60 Z",
                            }));
}

TEST(WMFReaderTest, ObjectsTakeTheLowestFreeSlotAndEscapesAndUnknownRecordsAreSkipped) {
  TWmfBuilder b(0, 0, 100, 100, 96, 3);
  WmfBrush(b, 0, 0x0000FF);     // slot 0: red
  WmfBrush(b, 0, 0x00FF00);     // slot 1: green
  b.Record(0x01F0, {0});        // delete slot 0
  WmfBrush(b, 2, 0xFF0000, 4);  // slot 0 again: blue cross hatch
  WmfSelect(b, 0);
  WmfRect(b, 0, 0, 10, 10);
  b.Record(0x0626, {15, 4, 0, 0});  // escape
  b.Record(0x0999, {1, 2, 3});      // unknown
  WmfSelect(b, 1);
  WmfRect(b, 0, 0, 20, 20);
  WmfBrush(b, 1, 0);  // slot 2: null brush
  WmfSelect(b, 2);
  WmfRect(b, 0, 0, 30, 30);
  EXPECT_EQ(Play(b.Bytes()).CallsStartingWith("brush"),
            (TCalls{"brush hatch 4 #0000ff", "brush solid #00ff00", "brush null"}));
  EXPECT_EQ(Drawn(Play(b.Bytes())).size(), 3u);
}

TEST(WMFReaderTest, TextUsesTheSelectedFontAlignmentAndOpaqueRectangle) {
  TWmfBuilder b(0, 0, 1000, 1000, 960);                  // a tenth of a pixel per unit
  std::vector<uint8_t> font = {1, 0, 0, 0, 0, 0, 0, 0};  // italic
  for (char c : std::string("Arial")) font.push_back(static_cast<uint8_t>(c));
  font.push_back(0);
  b.Record(0x02FB, {-100, 0, 900, 0, 700}, font);  // height, width, escapement, orientation, weight
  WmfSelect(b, 0);
  b.Record(0x0209, {Lo(0x336699), Hi(0x336699)});  // text colour
  b.Record(0x012E, {24 | 6});                      // baseline, centre
  // Text out: count, "Hi\xe9" padded, y, x.
  b.Record(0x0521, {3}, {'H', 'i', 0xE9, 0, 0x64, 0, 0x32, 0});
  // Ext text out: y, x, count, options (opaque), rectangle left, top, right, bottom, "ab".
  b.Record(0x0A32, {300, 100, 2, 2, 0, 200, 500, 400}, {'a', 'b'});
  EXPECT_EQ(Play(b.Bytes()).Calls(),
            (TCalls{
                "font 'Arial' 10 90 700 italic",
                "textcolor #996633",
                "bkcolor #ffffff",
                "bkmode opaque",
                "text 'Hi\xc3\xa9' at 5,10 center baseline",
                "text 'ab' at 10,30 center baseline opaque [M0,20 L50,20 L50,40 L0,40 Z]",
            }));
}

TEST(WMFReaderTest, StretchDibDrawsTheDecodedPixelsCountingSourceRowsFromTheBottom) {
  // Top row red, green; bottom row blue, white.
  const std::vector<uint8_t> dib = Dib24(2, 2, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF});
  TWmfBuilder b(0, 0, 100, 100, 96);
  const int32_t copy_lo = 0x0020, copy_hi = 0x00CC;
  // rop, usage, source h, w, y, x, destination h, w, y, x, DIB
  b.Record(0x0F43, {copy_lo, copy_hi, 0, 2, 2, 0, 0, 40, 80, 10, 10}, dib);
  b.Record(0x0F43, {copy_lo, copy_hi, 0, 1, 2, 0, 0, 10, 20, 60, 0}, dib);  // bottom row only
  // DibBitBlt counts from the top: rop, source y, x, height, width, destination y, x, DIB.
  b.Record(0x0940, {copy_lo, copy_hi, 0, 1, 1, 1, 0, 0}, dib);
  EXPECT_EQ(Drawn(Play(b.Bytes())), (TCalls{
                                        "picture 2x2 0,0-2,2 to 10,10-90,50 top #ff0000 #00ff00",
                                        "picture 2x2 0,1-2,2 to 0,60-20,70 top #ff0000 #00ff00",
                                        "picture 2x2 1,0-2,1 to 0,0-1,1 top #ff0000 #00ff00",
                                    }));
}

// ---- EMF ----

TEST(EMFReaderTest, MappingModesWindowsViewportsAndWorldTransforms) {
  struct Case {
    const char* name;
    void (*setup)(TEmfBuilder&);
    std::vector<int> rect;
    std::string path;
  };
  const Case cases[] = {
      {"device pixels", [](TEmfBuilder&) {}, {10, 20, 110, 70}, "M10,20 L110,20 L110,70 L10,70 Z"},
      {"anisotropic",
       [](TEmfBuilder& b) {
         b.Record(17, {8});
         b.Record(9, {1000, 1000});
         b.Record(11, {100, 50});
         b.Record(12, {5, 5});
       },
       {0, 0, 1000, 1000},
       "M5,5 L105,5 L105,55 L5,55 Z"},
      {"isotropic keeps the smaller scale",
       [](TEmfBuilder& b) {
         b.Record(17, {7});
         b.Record(9, {1000, 1000});
         b.Record(11, {100, 50});
       },
       {0, 0, 1000, 1000},
       "M0,0 L50,0 L50,50 L0,50 Z"},
      {"window origin",
       [](TEmfBuilder& b) {
         b.Record(17, {8});
         b.Record(10, {-100, -100});
         b.Record(9, {10, 10});
         b.Record(11, {10, 10});
       },
       {-100, -100, -90, -90},
       "M0,0 L10,0 L10,10 L0,10 Z"},
      {"hundredths of a millimetre, y up",
       [](TEmfBuilder& b) { b.Record(17, {3}); },
       {0, 0, 1000, -2000},
       "M0,0 L37.8,0 L37.8,75.6 L0,75.6 Z"},
      {"world scale and offset",
       [](TEmfBuilder& b) {
         b.Record(35, {FloatBits(2), 0, 0, FloatBits(2), FloatBits(10), 0});
       },
       {0, 0, 10, 10},
       "M10,0 L30,0 L30,20 L10,20 Z"},
      {"world transform left-multiplied",
       [](TEmfBuilder& b) {
         b.Record(35, {FloatBits(2), 0, 0, FloatBits(2), 0, 0});
         b.Record(36, {FloatBits(1), 0, 0, FloatBits(1), FloatBits(5), FloatBits(5), 2});
       },
       {0, 0, 10, 10},
       "M10,10 L30,10 L30,30 L10,30 Z"},
      {"world turned a quarter",
       [](TEmfBuilder& b) {
         b.Record(35, {0, FloatBits(1), FloatBits(-1), 0, FloatBits(100), 0});
       },
       {0, 0, 10, 20},
       "M100,0 L100,10 L80,10 L80,0 Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder b = Emf();
    c.setup(b);
    EmfRect(b, c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
    EXPECT_EQ(Drawn(Play(b.Bytes())), (TCalls{"fillstroke " + c.path}));
  }
}

TEST(EMFReaderTest, RestoreBringsBackTheSavedStateAndStockObjectsSelect) {
  TEmfBuilder b = Emf();
  EmfBrush(b, 1, 0x0000FF);
  EmfSelect(b, 1);
  b.Record(33, {});  // save
  EmfBrush(b, 2, 0xFF0000);
  EmfSelect(b, 2);
  b.Record(10, {50, 50});  // window origin
  EmfRect(b, 50, 50, 60, 60);
  b.Record(34, {-1});  // restore
  EmfRect(b, 0, 0, 10, 10);
  b.Record(34, {-1});        // nothing saved: ignored
  EmfSelect(b, 0x80000005);  // NULL_BRUSH
  EmfSelect(b, 0x80000008);  // NULL_PEN
  EmfRect(b, 0, 0, 10, 10);
  const TRecordingCanvas canvas = Play(b.Bytes());
  EXPECT_EQ(Drawn(canvas), (TCalls{"save", "fillstroke M0,0 L10,0 L10,10 L0,10 Z", "restore",
                                   "fillstroke M0,0 L10,0 L10,10 L0,10 Z",
                                   "fillstroke M0,0 L10,0 L10,10 L0,10 Z"}));
  EXPECT_EQ(canvas.CallsStartingWith("brush"),
            (TCalls{"brush solid #0000ff", "brush solid #ff0000", "brush null"}));
  EXPECT_EQ(canvas.CallsStartingWith("pen").back(), "pen null 0 #000000");
}

TEST(EMFReaderTest, ClipRectanglesAndRegions) {
  TEmfBuilder b = Emf();
  b.Record(30, {10, 10, 50, 50});  // intersect
  b.Record(29, {20, 20, 30, 30});  // exclude
  // A region of one rectangle, replacing the clip: size, mode, then RGNDATA.
  b.Record(75, {48, 5, 32, 1, 1, 16, 0, 0, 5, 5, 0, 0, 5, 5});
  b.Record(75, {0, 5});  // no region with copy: no clipping
  EXPECT_EQ(Drawn(Play(b.Bytes())), (TCalls{
                                        "clip and M10,10 L50,10 L50,50 L10,50 Z",
                                        "clip diff M20,20 L30,20 L30,30 L20,30 Z",
                                        "clip reset",
                                        "clip and M0,0 L5,0 L5,5 L0,5 Z",
                                        "clip reset",
                                    }));
}

TEST(EMFReaderTest, PathsCollectFiguresUntilFilledStrokedOrClipped) {
  TEmfBuilder b = Emf();
  b.Record(59, {});        // begin path
  b.Record(27, {0, 0});    // move to
  b.Record(54, {10, 0});   // line to
  b.Record(54, {10, 10});  // line to
  b.Record(61, {});        // close figure
  EmfRect(b, 20, 20, 30, 30);
  b.Record(60, {});            // end path
  b.Record(63, {0, 0, 0, 0});  // stroke and fill
  b.Record(59, {});
  EmfRect(b, 1, 1, 2, 2);
  b.Record(60, {});
  b.Record(67, {1});  // select clip path (and)
  const TCalls expected = {
      "fillstroke M0,0 L10,0 L10,10 Z M20,20 L30,20 L30,30 L20,30 Z",
      "clip and M1,1 L2,1 L2,2 L1,2 Z",
  };
  EXPECT_EQ(Drawn(Play(b.Bytes())), expected);
}

TEST(EMFReaderTest, ArcsRunCounterclockwiseOnThePictureUnlessTurnedAround) {
  TEmfBuilder b = Emf();
  b.Record(47, {0, 0, 100, 100, 100, 50, 50, 0});    // pie from 3 o'clock to 12 o'clock
  b.Record(57, {2});                                 // clockwise
  b.Record(45, {0, 0, 100, 100, 100, 50, 50, 100});  // arc from 3 o'clock to 6 o'clock
  EXPECT_EQ(Drawn(Play(b.Bytes())), (TCalls{"fillstroke M50,50 L100,50 C100,22.39 77.61,0 50,0 Z",
                                            "stroke M100,50 C100,77.61 77.61,100 50,100"}));
}

TEST(EMFReaderTest, DibBlitsDecodeThroughTheBmpReader) {
  const std::vector<uint8_t> dib = Dib24(2, 2, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF});
  const int64_t info = 40;
  const int64_t bits = static_cast<int64_t>(dib.size()) - info;
  TEmfBuilder b = Emf();
  // Stretch DIB bits: bounds, x, y, source x, y, w, h, offsets and sizes of info and bits,
  // usage, rop, destination w, h; the DIB follows the 80 fixed bytes.
  b.Record(81, {0, 0, 0, 0, 10, 20, 0, 0, 2, 2, 80, info, 80 + info, bits, 0, 0xCC0020, 40, 20},
           dib);
  // Set DIB bits to device: bounds, x, y, source x, y, w, h, offsets, usage, first scan, scans.
  b.Record(80, {0, 0, 0, 0, 5, 5, 0, 0, 2, 2, 76, info, 76 + info, bits, 0, 0, 2}, dib);
  // BitBlt without a source is a pattern fill with the brush.
  b.Record(76, {0, 0, 0,          0, 1, 2, 3, 4, 0xF00021, 0, 0, 0x3F800000,
                0, 0, 0x3F800000, 0, 0, 0, 0, 0, 0,        0, 0});
  EXPECT_EQ(
      Drawn(Play(b.Bytes())),
      (TCalls{"picture 2x2 0,0-2,2 to 10,20-50,40 top #ff0000 #00ff00",
              "picture 2x2 0,0-2,2 to 5,5-7,7 top #ff0000 #00ff00", "fill M1,2 L4,2 L4,6 L1,6 Z"}));
}

TEST(EMFReaderTest, ExtTextOutWDrawsUtf16TextWithTheFont) {
  TEmfBuilder b = Emf();
  std::vector<uint8_t> face;
  for (char16_t c : std::u16string(u"Caf\u00e9")) test::Put16(face, c);
  face.resize(64, 0);
  b.Record(82, {1, -12, 0, 0, 0, 400, 0x00000100, 0}, face);  // underline
  EmfSelect(b, 1);
  // Ext text out W: bounds, mode, scales, reference, count, offset, options, rect, advances.
  std::vector<uint8_t> text;
  for (char16_t c : std::u16string(u"\u20ac5")) test::Put16(text, c);
  b.Record(84, {0, 0, 0, 0, 1, 0x3F800000, 0x3F800000, 7, 8, 2, 76, 4, 1, 2, 3, 4, 0}, text);
  EXPECT_EQ(Play(b.Bytes()).Calls(),
            (TCalls{"font 'Caf\xc3\xa9' 12 0 400 underline", "textcolor #000000", "bkcolor #ffffff",
                    "bkmode opaque",
                    "text '\xe2\x82\xac"
                    "5' at 7,8 left top clipped [M1,2 L3,2 L3,4 L1,4 Z]"}));
}

// ---- Malformed files ----

TEST(MetafileReaderTest, MalformedFilesAreRefusedAsUnrecognizedWmfOrEmf) {
  const std::vector<uint8_t> dib = Dib24(4, 2, std::vector<uint32_t>(8, 0));
  const std::vector<uint8_t> short_dib(dib.begin(), dib.begin() + 50);  // bits cut short
  std::vector<uint8_t> huge_rle = Dib24(1, 1, {0});
  huge_rle.resize(40);
  huge_rle[4] = 0x00;  // width 0x01000000, height 0x01000000: 2^48 pixels in a few bytes
  huge_rle[7] = 0x01;
  huge_rle[11] = 0x01;
  huge_rle[16] = 1;                         // RLE8
  huge_rle.insert(huge_rle.end(), {0, 1});  // end of bitmap
  const int32_t lo = 0x0020, hi = 0x00CC;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"wmf too short for its header", {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0}},
      {"wmf header of the wrong type", TWmfBuilder(0, 0, 10, 10, 96).Header(3, 9).Bytes()},
      {"wmf placeable with zero units per inch", TWmfBuilder(0, 0, 10, 10, 0).Bytes()},
      {"wmf plain without a window extent", TWmfBuilder::Plain().Bytes()},
      {"wmf record size zero", TWmfBuilder(0, 0, 10, 10, 96).Raw({0, 0, 0, 0, 0x1B, 0x04}).Bytes()},
      {"wmf record size below its header",
       TWmfBuilder(0, 0, 10, 10, 96).Raw({2, 0, 0, 0, 0x1B, 0x04}).Bytes()},
      {"wmf record past the end",
       TWmfBuilder(0, 0, 10, 10, 96).Raw({100, 0, 0, 0, 0x1B, 0x04, 1, 0}).Bytes(false)},
      {"wmf record cut inside its header",
       TWmfBuilder(0, 0, 10, 10, 96).Raw({7, 0, 0}).Bytes(false)},
      {"wmf rectangle shorter than its fields",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x041B, {1, 2}).Bytes()},
      {"wmf select outside the table",
       TWmfBuilder(0, 0, 10, 10, 96, 2).Record(0x012D, {2}).Bytes()},
      {"wmf delete outside the table",
       TWmfBuilder(0, 0, 10, 10, 96, 2).Record(0x01F0, {7}).Bytes()},
      {"wmf polygon count beyond the record",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x0324, {1000, 1, 1, 2, 2}).Bytes()},
      {"wmf poly-polygon counts beyond the record",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x0538, {2, 30000, 30000, 1, 1}).Bytes()},
      {"wmf text longer than the record",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x0521, {200, 0, 0}).Bytes()},
      {"wmf DIB header not fitting",
       TWmfBuilder(0, 0, 10, 10, 96)
           .Record(0x0F43, {lo, hi, 0, 2, 4, 0, 0, 2, 4, 0, 0}, {40, 0, 0, 0, 4, 0})
           .Bytes()},
      {"wmf DIB bits cut short",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x0F43, {lo, hi, 0, 2, 4, 0, 0, 2, 4, 0, 0}, short_dib)
           .Bytes()},
      {"wmf DIB of absurd size",
       TWmfBuilder(0, 0, 10, 10, 96).Record(0x0F43, {lo, hi, 0, 2, 4, 0, 0, 2, 4, 0, 0}, huge_rle)
           .Bytes()},
      {"emf header signature wrong", [] {
         std::vector<uint8_t> b = Emf().Bytes();
         b[40] = 'X';
         return b;
       }()},
      {"emf header size below its fields", Emf().HeaderSize(40).Bytes()},
      {"emf header larger than the file", Emf().HeaderSize(5000).Bytes()},
      {"emf record size zero", Emf().Raw({43, 0, 0, 0, 0, 0, 0, 0}).Bytes()},
      {"emf record size below its header", Emf().Raw({43, 0, 0, 0, 4, 0, 0, 0}).Bytes()},
      {"emf record past the end", Emf().Raw({43, 0, 0, 0, 200, 0, 0, 0, 1, 2, 3, 4}).Bytes(false)},
      {"emf rectangle shorter than its fields", Emf().Record(43, {1, 2}).Bytes()},
      {"emf select outside the table", Emf(4).Record(37, {4}).Bytes()},
      {"emf create in the reserved slot 0", Emf(4).Record(39, {0, 0, 0, 0}).Bytes()},
      {"emf create outside the table", Emf(4).Record(38, {100, 0, 1, 0, 0}).Bytes()},
      {"emf polyline count beyond the record",
       Emf().Record(4, {0, 0, 0, 0, 0x20000000, 1, 1}).Bytes()},
      {"emf poly-polygon counts not adding up",
       Emf().Record(8, {0, 0, 0, 0, 1, 5, 3, 1, 1, 2, 2, 3, 3}).Bytes()},
      {"emf poly-polygon figure count absurd",
       Emf().Record(8, {0, 0, 0, 0, 0x40000000, 0, 0}).Bytes()},
      {"emf text outside the record",
       Emf().Record(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 1000, 76, 0, 0, 0, 0, 0, 0}).Bytes()},
      {"emf text offset outside the record",
       Emf().Record(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0x7FFFFFF0, 0, 0, 0, 0, 0, 0}).Bytes()},
      {"emf DIB offset outside the record",
       Emf().Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 9000, 40, 9040, 24, 0, 0xCC0020, 4, 2})
           .Bytes()},
      {"emf DIB bits larger than the record",
       Emf().Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 80, 40, 120, 10000, 0, 0xCC0020, 4, 2},
                    dib)
           .Bytes()},
      {"emf DIB bits cut short",
       Emf().Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 80, 40, 120, 10, 0, 0xCC0020, 4, 2}, dib)
           .Bytes()},
      {"emf clip region with an absurd count",
       Emf().Record(75, {48, 5, 32, 1, 0x10000000, 16, 0, 0, 5, 5, 0, 0, 5, 5}).Bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      MetafileSize(c.bytes);
      TRecordingCanvas canvas;
      PlayMetafile(c.bytes, canvas);
      ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), kUnrecognizedMetafile);
    }
  }
}

// Every fill of a picture near the pixel limit touches all of it: a small file that repeats one
// stops at kMaxMetafileDrawWork instead of keeping the canvas busy for minutes. As many fills as
// the budget holds play; one more is refused, with the earlier fills still drawn.
TEST(MetafileReaderTest, RepeatedFillsOfTheWholePictureStopAtTheWorkBudget) {
  constexpr int kWidth = 16000;
  constexpr int kHeight = 10000;
  const int fits = static_cast<int>(kMaxMetafileDrawWork / (double{kWidth} * kHeight));
  for (const int fills : {fits, fits + 1}) {
    SCOPED_TRACE(fills);
    TWmfBuilder b(0, 0, kWidth, kHeight, 96);
    for (int i = 0; i < fills; ++i) WmfRect(b, 0, 0, kWidth, kHeight);
    TRecordingCanvas canvas;
    try {
      PlayWMF(b.Bytes(), canvas);
      EXPECT_EQ(fills, fits) << "played";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(fills, fits + 1);
      EXPECT_STREQ(e.what(), kUnrecognizedMetafile);
    }
    EXPECT_EQ(Drawn(canvas).size(), static_cast<size_t>(fits));
  }
}

// Inputs the fuzz target once found troublesome (see fuzz/README.md): each must play or be
// refused, within the memory and time of any other file.
TEST(MetafileReaderTest, FuzzFindingsPlayOrAreRefused) {
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(SK_TEST_DATA_DIR) + "/metafile-fuzz")) {
    SCOPED_TRACE(entry.path().string());
    ++files;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (int reader = 0; reader < 2; ++reader) {
      try {
        TRecordingCanvas canvas;
        if (reader == 0) {
          PlayWMF(bytes, canvas);
        } else {
          PlayEMF(bytes, canvas);
        }
      } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), kUnrecognizedMetafile);
      }
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace sk
