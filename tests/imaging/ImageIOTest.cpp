// TImageIO: the choice of reader by extension and its messages, the host it works on, framed JPEG
// streams, safe saves, BMP saves of two-colour pictures checked by ImageMagick, the size limits of
// every reader and the EXIF orientation of JPEG loads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "imaging/BMPReader.h"
#include "imaging/BMPWriter.h"
#include "imaging/ByteReader.h"
#include "imaging/ImageIO.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/Orientation.h"
#include "platform/Files.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/imaging/MetafileBuilder.h"
#include "tests/imaging/RecordingCanvas.h"

namespace sk {
namespace {

using test::ReadFileBytes;
using test::PictureOf;
using test::RgbOf;

std::vector<uint8_t> JPEGBytes(const TPicture& picture, TResolution resolution, int quality = 90) {
  TVectorSink sink;
  EncodeJpeg(sink, picture, resolution, quality);
  return sink.Bytes();
}

std::vector<uint8_t> BMPBytes(const TPicture& picture) {
  TVectorSink sink;
  WriteBMP(sink, picture);
  return sink.Bytes();
}

// Records what the host is told.
class TRecordingHost : public TPictureHost {
 public:
  void Update() override { calls += "U"; }
  void ImageChange() override { calls += "I"; }
  std::string calls;
};

class ImageIOTest : public testing::Test {
 protected:
  ImageIOTest() { io_.SetAttachedImage(&host_); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    test::WriteFileBytes(dir_.File(name), bytes);
    return dir_.File(name);
  }
  // The message of the EInvalidGraphic the load raises, "EOSError" for that, or "" for success.
  std::string LoadOutcome(const std::string& path) {
    try {
      io_.LoadFromFile(path);
      return "";
    } catch (const EInvalidGraphic& error) {
      return error.what();
    } catch (const EOSError&) {
      return "EOSError";
    }
  }

  test::TTempDir dir_;
  TRecordingHost host_;
  TImageIO io_;
};

TEST_F(ImageIOTest, LoadFromFileTriesTheExtensionsReaderThenTheOneTheSignatureNames) {
  const TPicture picture = test::NoisePicture(6, 4, 3);
  const std::vector<uint8_t> jpeg = JPEGBytes(picture, {300, 300});
  const std::vector<uint8_t> bmp = BMPBytes(picture);
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 6, 0, 4, 0, 0, 0, 0, 0x3B};
  // A PNG signature and header: there is no PNG reader, so nothing reads it.
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13,
                                    'I',  'H', 'D', 'R', 0,    0,    0,    6,    0, 0, 0, 4};
  // A JPEG signature with nothing after it: the JPEG reader refuses it too.
  const std::vector<uint8_t> jpeg_start = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16};
  std::filesystem::create_directory(dir_.File("dir.jpg"));
  const struct {
    const char* name;
    const std::vector<uint8_t>* content;  // null: the file does not exist
    std::string outcome;
  } cases[] = {
      {"photo.JPG", &jpeg, ""},
      {"photo.Jpeg", &jpeg, ""},
      // The extension's reader refuses the file; its signature names the reader that takes it.
      {"photo.jpe", &jpeg, ""},
      {"photo.bmp", &jpeg, ""},
      {"fake.jpg", &bmp, ""},
      {"anim.jpg", &gif, ""},
      {"anim.tif", &gif, ""},
      {"anim.TIFF", &gif, ""},
      {"scan.pcx", &bmp, ""},
      {"drawing.wmf", &bmp, ""},
      {"picture.BMP", &bmp, ""},
      {"picture", &bmp, ""},
      {"picture.png", &bmp, ""},
      {"dir.jpg/picture", &bmp, ""},
      {"anim.gif", &gif, ""},  // a GIF without an image: an empty picture
      // No reader takes the file: the extension's reader's message stands.
      {"image.jpg", &png, kUnrecognizedJpeg},
      {"image.gif", &png, kUnrecognizedGif},
      {"image.bmp", &png, kUnrecognizedBmp},
      {"image.png", &png, kUnrecognizedBmp},
      {"drawing.EMF", &png, kUnrecognizedMetafile},  // no metafile loader given
      {"cut.gif", &jpeg_start, kUnrecognizedGif},    // the signature's reader refuses it too
      {"cut.tif", &jpeg_start, kUnrecognizedTiff},
      // A missing file: the fixed-message branches hide the cause, the others pass it on.
      {"missing.gif", nullptr, kUnrecognizedGif},
      {"missing.tif", nullptr, kUnrecognizedTiff},
      {"missing.jpg", nullptr, "EOSError"},
      {"missing.bmp", nullptr, "EOSError"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.content != nullptr ? Write(c.name, *c.content) : dir_.File(c.name);
    host_.Bitmap().Clear();
    EXPECT_EQ(LoadOutcome(path), c.outcome);
    if (c.outcome.empty()) {
      EXPECT_EQ(host_.Bitmap().Width(), c.content == &gif ? 0 : 6);
      if (c.content == &bmp) {
        EXPECT_EQ(host_.Bitmap(), picture);
      }
    }
  }
}

TEST_F(ImageIOTest, AJpegFileCutInsideItsScanLoadsAndSaysItEndedEarly) {
  const TPicture picture = test::NoisePicture(64, 64, 5);
  const std::vector<uint8_t> jpeg = JPEGBytes(picture, {72, 72});
  const std::vector<uint8_t> cut(jpeg.begin(),
                                 jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * 2 / 3));
  io_.LoadFromFile(Write("whole.jpg", jpeg));
  EXPECT_FALSE(io_.LastLoadEndedEarly());
  io_.LoadFromFile(Write("cut.jpg", cut));
  EXPECT_TRUE(io_.LastLoadEndedEarly());
  EXPECT_EQ(host_.Bitmap().Width(), 64);
  EXPECT_EQ(host_.Bitmap().Height(), 64);
  // Named otherwise, it is found by its signature and told the same way.
  io_.LoadFromFile(Write("cut.bmp", cut));
  EXPECT_TRUE(io_.LastLoadEndedEarly());
  io_.LoadFromFile(Write("whole.bmp", BMPBytes(picture)));
  EXPECT_FALSE(io_.LastLoadEndedEarly());
}

TEST_F(ImageIOTest, ALoadReplacesThePictureAndTellsTheHostUpdateThenImageChange) {
  const TPicture picture = test::NoisePicture(5, 3, 8);
  io_.LoadFromFile(Write("p.bmp", BMPBytes(picture)));
  EXPECT_EQ(host_.Bitmap(), picture);
  EXPECT_EQ(host_.calls, "UI");
}

TEST_F(ImageIOTest, AFailedLoadLeavesThePictureAndTellsNobody) {
  host_.Bitmap() = test::NoisePicture(5, 3, 8);
  const TPicture before = host_.Bitmap();
  EXPECT_THROW(io_.LoadFromFile(Write("bad.bmp", {'B', 'M', 1, 2})), EInvalidGraphic);
  EXPECT_EQ(host_.Bitmap(), before);
  EXPECT_EQ(host_.calls, "");
}

TEST_F(ImageIOTest, OnlyJpegLoadsSetTheResolutionAndJpegSavesWriteIt) {
  const TPicture picture = test::NoisePicture(6, 4, 3);
  io_.LoadFromFile(Write("a.jpg", JPEGBytes(picture, {300, 150})));
  io_.LoadFromFile(Write("b.bmp", BMPBytes(picture)));
  EXPECT_EQ(host_.DpiX(), 300);
  EXPECT_EQ(host_.DpiY(), 150);
  io_.SaveToFileJpeg(dir_.File("out.jpg"), 75);
  TMemoryStream stream(ReadFileBytes(dir_.File("out.jpg")));
  EXPECT_EQ(DecodeFramedJpeg(stream).resolution, (TResolution{300, 150}));
}

TEST_F(ImageIOTest, LoadFromFileTIFFReportsAMissingFileAsSuchAndRefusesOthers) {
  EXPECT_THROW(io_.LoadFromFileTIFF(dir_.File("none.tif"), 0), EOSError);
  try {
    io_.LoadFromFileTIFF(Write("a.tif", {'I', 'I', 42, 0}), 0);
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& error) {
    EXPECT_STREQ(error.what(), kUnrecognizedTiff);
  }
}

TEST_F(ImageIOTest, TiffAndPcxLoadsSetTheResolutionAndExpandBilevelPages) {
  const std::string dir = SK_IMAGING_FIXTURES_DIR;
  // A 118 dots-per-centimetre RGB page: 299 dpi.
  io_.LoadFromFile(dir + "/tiff/im_rgb_118dpcm.tif");
  EXPECT_EQ(RgbOf(host_.Bitmap()), ReadFileBytes(dir + "/tiff/im_rgb_118dpcm.rgb"));
  EXPECT_EQ(host_.DpiX(), 299);
  EXPECT_EQ(host_.calls, "UI");
  // A Group 4 page: black text on white through ExpandMonochrome.
  io_.LoadFromFile(dir + "/tiff/text_g4.tif");
  EXPECT_EQ(RgbOf(host_.Bitmap()), ReadFileBytes(dir + "/tiff/text_g4.rgb"));
  io_.LoadFromFile(dir + "/pcx/im_rgb24_300dpi.pcx");
  EXPECT_EQ(RgbOf(host_.Bitmap()), ReadFileBytes(dir + "/pcx/im_rgb24_300dpi.rgb"));
  EXPECT_EQ(host_.DpiY(), 300);
}

TEST_F(ImageIOTest, LoadFromFileTIFFReturnsThePageCountAndLoadsThePageAsked) {
  const std::string file = SK_IMAGING_FIXTURES_DIR "/tiff/pages3.tif";
  EXPECT_EQ(io_.LoadFromFileTIFF(file, 1), 3);
  EXPECT_EQ(host_.Bitmap().Width(), 203);  // the second page, the text page
  // A page beyond the file's pages leaves the picture and tells nobody.
  host_.calls.clear();
  EXPECT_EQ(io_.LoadFromFileTIFF(file, 3), 3);
  EXPECT_EQ(host_.Bitmap().Width(), 203);
  EXPECT_EQ(host_.calls, "");
  // Through LoadFromFile a file without any page fails like any other unreadable TIFF.
  const std::vector<uint8_t> no_pages = {'I', 'I', 42, 0, 0, 0, 0, 0};
  EXPECT_EQ(LoadOutcome(Write("none.tif", no_pages)), kUnrecognizedTiff);
  EXPECT_EQ(io_.LoadFromFileTIFF(dir_.File("none.tif"), 0), 0);
}

TEST_F(ImageIOTest, GifSavedAndLoadedAgainKeepsPixelsAndSetsBackground) {
  // Four colours: the quantiser keeps them exactly, so the round trip is lossless.
  TPicture picture(3, 2);
  const uint8_t colours[6][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0},
                                 {0, 0, 255}, {9, 9, 9},   {0, 255, 0}};
  for (int i = 0; i < 6; ++i)
    std::copy(colours[i], colours[i] + 3, picture.Row(i / 3) + 3 * (i % 3));
  for (const bool lzw : {false, true}) {
    SCOPED_TRACE(lzw);
    host_.Bitmap() = picture;
    io_.SetUseLZW(lzw);
    io_.SetBackground(0x00FF00);  // green: entry 0 of the table, the transparent colour
    const std::string path = dir_.File("round.gif");
    io_.SaveToFileGIF(path, true, 0, true, 0, 0);
    io_.SetBackground(0);
    host_.Bitmap().Clear();
    io_.LoadFromFile(path);
    EXPECT_EQ(host_.Bitmap(), picture);
    EXPECT_EQ(io_.Background(), 0x00FF00u);
    // A BMP loaded afterwards keeps the GIF's background.
    io_.LoadFromFile(Write("after.bmp", BMPBytes(picture)));
    EXPECT_EQ(io_.Background(), 0x00FF00u);
  }
}

TEST_F(ImageIOTest, GifSaveOfAnOversizedPictureLeavesTheFile) {
  host_.Bitmap() = TPicture(70000, 1);
  const std::string path = Write("keep.gif", {1, 2, 3});
  EXPECT_THROW(io_.SaveToFileGIF(path, false, 0, false, 0, 0), EInvalidGraphic);
  EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

// ---- The host ----

TEST(ImageIOHostTest, WithoutAHostEveryOperationDoesNothing) {
  TImageIO io;
  TMemoryStream stream;
  EXPECT_NO_THROW(io.LoadFromFile("/nonexistent/a.jpg"));
  EXPECT_NO_THROW(io.LoadFromStreamJpeg(stream));
  EXPECT_NO_THROW(io.SaveToStreamJpeg(stream, 75));
  EXPECT_NO_THROW(io.SaveToFileBMP("/nonexistent/a.bmp"));
  EXPECT_EQ(io.LoadFromFileTIFF("/nonexistent/a.tif", 0), 0);
  EXPECT_EQ(stream.Size(), 0u);
}

TEST(ImageIOHostTest, BackgroundIsTheHostsWhileOneIsAttachedElseItsOwn) {
  TImageIO io;
  io.SetBackground(0x123456);
  {
    TPictureHost host;
    io.SetAttachedImage(&host);
    EXPECT_EQ(io.Background(), 0u);
    io.SetBackground(0xABCDEF);
    EXPECT_EQ(host.Background(), 0xABCDEFu);
  }
  // The host is gone: the attachment is cleared and the own background shows again.
  EXPECT_EQ(io.AttachedImage(), nullptr);
  EXPECT_EQ(io.Background(), 0x123456u);
}

TEST(ImageIOHostTest, AnImageIODestroyedFirstIsForgottenByItsHost) {
  TPictureHost host;
  {
    TImageIO io;
    io.SetAttachedImage(&host);
  }
  // AddressSanitizer would report the host telling a destroyed TImageIO on its way out.
  TImageIO other;
  other.SetAttachedImage(&host);
  other.SetAttachedImage(nullptr);
}

// ---- Metafiles ----

// A canvas that paints the top-left pixel white for every path it is given, and remembers the
// size of the picture it was made for.
class TPixelCanvas : public test::TRecordingCanvas {
 public:
  explicit TPixelCanvas(TPicture& picture) : picture_(picture) {}
  void DrawPath(const TMetaPath& path, bool fill, bool stroke) override {
    TRecordingCanvas::DrawPath(path, fill, stroke);
    std::fill_n(picture_.Row(0), 3, uint8_t{0xFF});
  }

 private:
  TPicture& picture_;
};

TMetafileCanvasFactory PixelCanvases(std::vector<std::string>* sizes = nullptr) {
  return [sizes](TPicture& picture) {
    if (sizes != nullptr) {
      sizes->push_back(std::to_string(picture.Width()) + "x" + std::to_string(picture.Height()));
    }
    return std::make_unique<TPixelCanvas>(picture);
  };
}

// A 100 by 80 pixel metafile drawing one rectangle.
std::vector<uint8_t> Wmf100x80() {
  return test::TWmfBuilder(0, 0, 100, 80, 96).Record(0x041B, {10, 10, 0, 0}).Bytes();
}

TEST_F(ImageIOTest, AMetafileGivesAPictureOnePixelSmallerClearedToTheBackground) {
  std::vector<std::string> sizes;
  io_.SetMetafileCanvasFactory(PixelCanvases(&sizes));
  io_.SetBackground(0x00332211);  // red 0x11, green 0x22, blue 0x33
  host_.SetDPI(96, 96);
  const std::vector<std::vector<uint8_t>> files = {
      Wmf100x80(),
      test::TEmfBuilder(0, 0, 2646, 2117).Record(43, {0, 0, 10, 10}).Bytes(),
  };
  for (const char* name : {"drawing.wmf", "drawing.EMF"}) {
    SCOPED_TRACE(name);
    // Either extension reads either format: the content tells them apart.
    for (const std::vector<uint8_t>& bytes : files) {
      host_.calls.clear();
      io_.LoadFromFile(Write(name, bytes));
      ASSERT_EQ(host_.Bitmap().Width(), 99);
      ASSERT_EQ(host_.Bitmap().Height(), 79);
      const uint8_t* row = host_.Bitmap().Row(78);
      EXPECT_EQ(std::vector<uint8_t>(row + 3 * 98, row + 3 * 99),
                (std::vector<uint8_t>{0x33, 0x22, 0x11}));
      EXPECT_EQ(host_.Bitmap().Row(0)[0], 0xFF);
      EXPECT_EQ(host_.DpiX(), 96);
      EXPECT_EQ(host_.calls, "UI");
    }
  }
  EXPECT_EQ(sizes, (std::vector<std::string>(4, "99x79")));
}

TEST_F(ImageIOTest, EveryMetafileFailureIsUnrecognizedWmfOrEmf) {
  struct Case {
    const char* name;
    TMetafileCanvasFactory factory;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> malformed = Wmf100x80();
  malformed.insert(malformed.end() - 6, {0, 0, 0, 0, 0x1B, 0x04});  // a record of size zero
  const std::vector<Case> cases = {
      {"no canvas", nullptr, Wmf100x80()},
      {"the factory gives no canvas", [](TPicture&) { return std::unique_ptr<TMetafileCanvas>(); },
       Wmf100x80()},
      {"the canvas fails",
       [](TPicture&) -> std::unique_ptr<TMetafileCanvas> { throw std::runtime_error("x"); },
       Wmf100x80()},
      // (A picture of another format under a metafile's name is read by its signature.)
      {"no picture at all", PixelCanvases(), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}},
      {"empty file", PixelCanvases(), {}},
      {"a record of size zero", PixelCanvases(), malformed},
      {"zero width", PixelCanvases(), test::TWmfBuilder(10, 0, 10, 80, 96).Bytes()},
      {"too large to allocate", PixelCanvases(), test::TWmfBuilder(0, 0, 30000, 30000, 40).Bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    io_.SetMetafileCanvasFactory(c.factory);
    EXPECT_EQ(LoadOutcome(Write("a.emf", c.bytes)), kUnrecognizedMetafile);
  }
  io_.SetMetafileCanvasFactory(PixelCanvases());
  EXPECT_EQ(LoadOutcome(dir_.File("missing.wmf")), kUnrecognizedMetafile);
}

TEST_F(ImageIOTest, AOnePixelMetafileGivesAnEmptyPicture) {
  io_.SetMetafileCanvasFactory(PixelCanvases());
  host_.Bitmap() = test::NoisePicture(3, 3, 1);
  io_.LoadFromFile(Write("dot.wmf", test::TWmfBuilder(0, 0, 1, 1, 96).Bytes()));
  EXPECT_TRUE(host_.Bitmap().Empty());
}

// ---- Framed JPEG streams ----

TEST_F(ImageIOTest, SaveToStreamJpegFramesTheJpegAtTheStreamsPosition) {
  host_.Bitmap() = test::NoisePicture(16, 8, 4);
  host_.SetDPI(200, 100);
  TMemoryStream stream(std::vector<uint8_t>{9, 9, 9});
  stream.Seek(3);
  io_.SaveToStreamJpeg(stream, 90);
  const std::vector<uint8_t> jpeg = JPEGBytes(host_.Bitmap(), {200, 100}, 90);
  const std::span<const uint8_t> bytes = stream.Bytes();
  ASSERT_EQ(bytes.size(), 3 + 12 + jpeg.size());
  EXPECT_EQ(stream.Position(), bytes.size());
  const std::vector<uint8_t> frame(bytes.begin() + 3, bytes.begin() + 15);
  const uint32_t length = static_cast<uint32_t>(jpeg.size());
  EXPECT_EQ(frame, (std::vector<uint8_t>{
                       'J', 'F', 'I', 'F', 0, 0, 0, 0, static_cast<uint8_t>(length),
                       static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
                       static_cast<uint8_t>(length >> 24)}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 15, bytes.end()), jpeg);
}

TEST_F(ImageIOTest, LoadFromStreamJpegLeavesTheStreamJustAfterTheFrame) {
  TMemoryStream stream;
  EncodeFramedJpeg(stream, test::NoisePicture(7, 5, 1), {300, 300}, 75);
  const size_t first_end = stream.Position();
  EncodeFramedJpeg(stream, test::NoisePicture(3, 9, 2), {72, 72}, 75);
  stream.Seek(0);
  io_.LoadFromStreamJpeg(stream);
  EXPECT_EQ(stream.Position(), first_end);
  EXPECT_EQ(host_.Bitmap().Width(), 7);
  EXPECT_EQ(host_.DpiX(), 300);
  io_.LoadFromStreamJpeg(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(host_.Bitmap().Width(), 3);
  EXPECT_EQ(host_.calls, "UIUI");
}

TEST_F(ImageIOTest, LoadFromStreamJpegDecodesARawJpegFromItsFirstByte) {
  std::vector<uint8_t> bytes = {1, 2};
  const std::vector<uint8_t> jpeg = JPEGBytes(test::NoisePicture(7, 5, 1), {}, 75);
  bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
  TMemoryStream stream(bytes);
  stream.Seek(2);
  io_.LoadFromStreamJpeg(stream);
  EXPECT_EQ(host_.Bitmap().Width(), 7);
}

TEST_F(ImageIOTest, EveryStreamFailureIsUnrecognizedJpegStream) {
  const std::vector<uint8_t> jpeg = JPEGBytes(test::NoisePicture(7, 5, 1), {}, 75);
  std::vector<uint8_t> frame_of_nothing = {'J', 'F', 'I', 'F', 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> frame_of_garbage = {'J', 'F', 'I', 'F', 0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4};
  const std::vector<std::vector<uint8_t>> cases = {
      {},
      {'J', 'F'},
      frame_of_nothing,
      frame_of_garbage,
      std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 100),
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TMemoryStream stream(cases[i]);
    try {
      io_.LoadFromStreamJpeg(stream);
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& error) {
      EXPECT_STREQ(error.what(), kUnrecognizedJpegStream);
    }
  }
}

// ---- BMP saves ----

uint32_t PaletteEntry(const std::vector<uint8_t>& bmp, int index) {
  const uint8_t* p = &bmp[54 + 4 * static_cast<size_t>(index)];
  return static_cast<uint32_t>(p[2] | p[1] << 8 | p[0] << 16);
}

TEST_F(ImageIOTest, SaveToFileBMPWritesTwoColourPicturesAsOneBitWithTheirColours) {
  constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0x0000FF, kBlue = 0xFF0000;
  const struct {
    const char* name;
    std::vector<uint32_t> pixels;
    int bit_count;
    std::array<uint32_t, 2> palette;  // for 1-bit files
  } cases[] = {
      {"black_and_white", {kBlack, kWhite, kWhite}, 1, {kBlack, kWhite}},
      {"white_met_first", {kWhite, kBlack, kBlack}, 1, {kBlack, kWhite}},
      // Blue's luminance is round(28.05) = 28, red's round(76.5) = 76 (half to even).
      {"red_and_blue", {kRed, kBlue}, 1, {kBlue, kRed}},
      // Both round to 3: the colour met first keeps index 0.
      {"equal_luminance", {0x00000B, 0x1E0000}, 1, {0x00000B, 0x1E0000}},
      {"equal_luminance_other_order", {0x1E0000, 0x00000B}, 1, {0x1E0000, 0x00000B}},
      {"one_colour", {kRed}, 24, {}},
      {"three_colours", {kRed, kBlue, kWhite}, 24, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Bitmap() = PictureOf(13, 3, c.pixels);
    const std::string path = dir_.File(std::string(c.name) + ".bmp");
    io_.SaveToFileBMP(path);
    const std::vector<uint8_t> bmp = ReadFileBytes(path);
    ASSERT_EQ(bmp[28], c.bit_count);
    if (c.bit_count == 1) {
      EXPECT_EQ(PaletteEntry(bmp, 0), c.palette[0]);
      EXPECT_EQ(PaletteEntry(bmp, 1), c.palette[1]);
    }
    EXPECT_EQ(test::DecodeWithImageMagick(path).rgb, RgbOf(host_.Bitmap()));
    const TPicture saved = host_.Bitmap();
    io_.LoadFromFile(path);
    EXPECT_EQ(host_.Bitmap(), saved);
  }
}

// ---- Size limits and decompression bombs ----

// Sparse files one byte over the cap: refused before anything is read, by every branch.
TEST_F(ImageIOTest, EveryBranchRefusesAFileOverTheSizeCapBeforeReadingIt) {
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"big.bmp", kUnrecognizedBmp},
      {"big", kUnrecognizedBmp},
      {"big.gif", kUnrecognizedGif},
      {"big.jpg", kUnrecognizedJpeg},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, {});
    std::filesystem::resize_file(path, kMaxPictureFileSize + 1);
    EXPECT_EQ(LoadOutcome(path), c.message);
    std::filesystem::remove(path);
  }
}

// The offset of the first SOF0 segment's height field (ITU-T T.81 B.2.2).
size_t FrameHeightOffset(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i + 5;
  }
  throw std::runtime_error("no SOF0");
}

// About 1 KB each, declaring 12000 x 12000 pixels (within the pixel limit) that their data
// cannot fill, and 16000 x 16000 (beyond it).
TEST_F(ImageIOTest, DecompressionBombsAreRefusedWithTheBranchesMessages) {
  std::vector<uint8_t> jpeg = JPEGBytes(test::NoisePicture(16, 16, 3), {72, 72});
  jpeg.resize(std::max<size_t>(jpeg.size(), 1024), 0);
  const size_t at = FrameHeightOffset(jpeg);
  for (const size_t i : {at, at + 2}) {
    jpeg[i] = 12000 >> 8;
    jpeg[i + 1] = 12000 & 0xFF;
  }
  // GIF: a 4-colour table, a 12000 x 12000 descriptor and 4 sub-blocks of zero codes.
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x81, 0, 0};
  gif.resize(gif.size() + 12, 0);
  gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 0xE0, 0x2E, 0xE0, 0x2E, 0, 2});
  for (int i = 0; i < 4; ++i) {
    gif.push_back(255);
    gif.insert(gif.end(), 255, 0);
  }
  gif.insert(gif.end(), {0, 0x3B});
  // BMP: RLE8, 16000 x 16000, 1 KB of end-of-line codes.
  std::vector<uint8_t> bmp = BMPBytes(test::NoisePicture(2, 2, 4));
  bmp.resize(54);
  bmp[28] = 8;
  bmp[30] = 1;                                       // RLE8
  for (const size_t i : {size_t{18}, size_t{22}}) {  // width, height: 16000
    bmp[i] = 16000 & 0xFF;
    bmp[i + 1] = 16000 >> 8;
  }
  bmp[10] = 54 + 8;  // pixels after a 2-entry palette
  bmp[46] = 2;
  bmp.resize(54 + 8 + 1024, 0);
  const struct {
    const char* name;
    const std::vector<uint8_t>& file;
    const char* message;
  } cases[] = {
      {"bomb.jpg", jpeg, kUnrecognizedJpeg},
      {"bomb.gif", gif, kUnrecognizedGif},
      {"bomb.bmp", bmp, kUnrecognizedBmp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LT(c.file.size(), 1200u);
    EXPECT_EQ(LoadOutcome(Write(c.name, c.file)), c.message);
  }
  // The same JPEG behind a frame, as a damaged store item would hold it.
  TMemoryStream stream;
  stream.Write(JpegFrame{static_cast<uint32_t>(jpeg.size())}.Bytes());
  stream.Write(jpeg);
  stream.Seek(0);
  try {
    io_.LoadFromStreamJpeg(stream);
    ADD_FAILURE() << "decoded";
  } catch (const EInvalidGraphic& error) {
    EXPECT_STREQ(error.what(), kUnrecognizedJpegStream);
  }
}

// ---- EXIF orientation ----

TEST_F(ImageIOTest, JpegFileLoadsAreTurnedAsTheirExifOrientationAsks) {
  const std::vector<uint8_t> plain = JPEGBytes(test::NoisePicture(5, 3, 9), {72, 72});
  TSpanSource source(plain);
  const TPicture decoded = DecodeJpeg(source).picture;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (const char* order : {"II", "MM"}) {
      SCOPED_TRACE(std::to_string(orientation) + " " + order);
      const std::string path = Write(
          "exif.jpg",
          test::WithApp1(plain, test::Exif(test::Tiff(
                                    order, {{274, 3, 1, static_cast<uint32_t>(orientation)}}))));
      const TPicture expected = ApplyOrientation(decoded, orientation);
      ASSERT_EQ(LoadOutcome(path), "");
      EXPECT_EQ(host_.Bitmap(), expected);
      EXPECT_EQ(host_.Bitmap().Width(), orientation >= 5 ? 3 : 5);
      host_.Bitmap().Clear();
      io_.LoadFromFileJpeg(path);
      EXPECT_EQ(host_.Bitmap(), expected);
    }
  }
}

// ---- Safe saves ----

class SafeSaveTest : public ImageIOTest {
 protected:
  SafeSaveTest() { host_.Bitmap() = test::NoisePicture(20, 10, 6); }
  ~SafeSaveTest() override { SetFileFaultHook(nullptr); }
  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SafeSaveTest, AFailedSaveLeavesTheExistingFileAsItWas) {
  for (const char* operation : {"write", "sync", "rename"}) {
    for (const bool jpeg : {true, false}) {
      SCOPED_TRACE(std::string(operation) + (jpeg ? " jpeg" : " bmp"));
      const std::string path = Write(jpeg ? "old.jpg" : "old.bmp", {'o', 'l', 'd'});
      SetFileFaultHook(
          [&](std::string_view op, const std::string&) { return op == operation ? ENOSPC : 0; });
      if (jpeg) {
        EXPECT_THROW(io_.SaveToFileJpeg(path, 75), EOSError);
      } else {
        EXPECT_THROW(io_.SaveToFileBMP(path), EOSError);
      }
      SetFileFaultHook(nullptr);
      EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
      EXPECT_EQ(FilesInDir(), std::vector<std::string>{ExtractFileName(path)});
      std::filesystem::remove(path);
    }
  }
}

TEST_F(SafeSaveTest, AnEncoderFailureLeavesTheExistingFileAsItWas) {
  host_.Bitmap().Clear();
  const std::string path = Write("old.jpg", {'o', 'l', 'd'});
  EXPECT_THROW(io_.SaveToFileJpeg(path, 75), EInvalidGraphic);
  EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(FilesInDir(), std::vector<std::string>{"old.jpg"});
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST_F(SafeSaveTest, ANewFileGetsTheUmasksModeAndAReplacedFileKeepsItsOwn) {
  const mode_t old_mask = ::umask(027);
  io_.SaveToFileBMP(dir_.File("new.bmp"));
  EXPECT_EQ(ModeOf(dir_.File("new.bmp")), 0640u);
  const std::string existing = Write("existing.jpg", {1});
  ASSERT_EQ(::chmod(existing.c_str(), 0604), 0);
  io_.SaveToFileJpeg(existing, 75);
  EXPECT_EQ(ModeOf(existing), 0604u);
  ::umask(old_mask);
}

TEST_F(SafeSaveTest, SavingThroughASymbolicLinkReplacesItsTargetAndKeepsTheLink) {
  const std::string target = Write("target.bmp", {1});
  std::filesystem::create_symlink(target, dir_.File("link.bmp"));
  io_.SaveToFileBMP(dir_.File("link.bmp"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("link.bmp")));
  EXPECT_EQ(ReadBMP(ReadFileBytes(target)), host_.Bitmap());
}

}  // namespace
}  // namespace sk
