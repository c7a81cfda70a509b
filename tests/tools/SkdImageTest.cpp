// skd convert and identify driven as a user would drive them, checked against djpeg, cjpeg,
// ImageMagick and libtiff's tools, and on metafiles written by our own fixture script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

class SkdImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-skd-image-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // A 300 dpi photo-like JPEG and a BMP, both from ImageMagick.
    Shell(
        "/usr/bin/convert -size 67x45 -seed 5 plasma:fractal -density 300 -units "
        "PixelsPerInch -quality 92 photo.jpg");
    Shell("/usr/bin/convert -size 31x17 -seed 6 plasma:fractal -type TrueColor bmp3:photo.bmp");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Shell(const std::string& command) {
    ASSERT_EQ(std::system(("cd '" + dir_ + "' && " + command).c_str()), 0) << command;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The picture's pixels as ImageMagick reads them.
  std::string Pixels(const std::string& name) {
    Shell("/usr/bin/convert " + name + " -depth 8 rgb:" + name + ".rgb");
    return Read(name + ".rgb");
  }
  void ExpectFailure(const std::vector<std::string>& args, const std::string& message) {
    const TSkdResult r = RunSkd(args, dir_);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "skd: " + message + "\n");
  }
  std::string dir_;
};

TEST_F(SkdImageTest, ConvertToJpegWritesWhatCjpegWritesAndKeepsTheResolution) {
  for (const char* quality : {"75", ""}) {
    SCOPED_TRACE(quality);
    std::vector<std::string> args = {"convert", "photo.jpg", "out.jpg"};
    const std::string cjpeg_quality = *quality != 0 ? quality : "100";  // the default
    if (*quality != 0) args.insert(args.end(), {"--quality", quality});
    const TSkdResult r = RunSkd(args, dir_);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Shell("djpeg photo.jpg | cjpeg -baseline -quality " + cjpeg_quality + " > reference.jpg");
    std::string ours = Read("out.jpg");
    // JFIF APP0 density: unit 1, 300 by 300; cjpeg writes unit 0, 1 by 1.
    ASSERT_GE(ours.size(), 18u);
    EXPECT_EQ(ours.substr(13, 5), std::string("\x01\x01\x2C\x01\x2C", 5));
    ours.replace(13, 5, std::string("\x00\x00\x01\x00\x01", 5));
    EXPECT_EQ(ours, Read("reference.jpg"));
  }
}

TEST_F(SkdImageTest, ConvertToBmpKeepsThePixels) {
  for (const char* input : {"photo.bmp", "photo.jpg"}) {
    SCOPED_TRACE(input);
    const TSkdResult r = RunSkd({"convert", input, "out.BMP"}, dir_);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    if (std::string(input) == "photo.jpg") {
      Shell("djpeg photo.jpg > photo.ppm");  // the decode our decoder must match exactly
      EXPECT_EQ(Pixels("out.BMP"), Pixels("photo.ppm"));
    } else {
      EXPECT_EQ(Pixels("out.BMP"), Pixels("photo.bmp"));
    }
  }
}

TEST_F(SkdImageTest, ErrorsPrintTheCodecsMessageAndLeaveTheOutputAlone) {
  std::ofstream(dir_ + "/out.jpg") << "old";
  std::ofstream(dir_ + "/broken.bmp") << "BM broken";
  std::ofstream(dir_ + "/broken.jpg") << "not a jpeg at all";
  ExpectFailure({"convert", "broken.bmp", "out.jpg"}, "unrecognized BMP");
  ExpectFailure({"convert", "broken.jpg", "out.jpg"}, "unrecognized JPEG");
  ExpectFailure({"convert", "missing.gif", "out.jpg"}, "unrecognized GIF");
  ExpectFailure({"convert", "photo.jpg", "out.png"},
                "cannot write out.png: the output name must end in .jpg, .jpeg, .bmp or .gif");
  const TSkdResult missing = RunSkd({"convert", "missing.jpg", "out.jpg"}, dir_);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("missing.jpg"), std::string::npos) << missing.err;
  EXPECT_EQ(Read("out.jpg"), "old");
}

TEST_F(SkdImageTest, ConvertDrawsMetafilesWithoutADisplay) {
  Shell("/usr/bin/python3 " SK_TEST_SCRIPTS_DIR "/make_metafile_fixtures.py .");
  for (const char* input : {"shapes.wmf", "shapes.emf"}) {
    SCOPED_TRACE(input);
    // No display and no platform chosen: skd starts the offscreen one itself.
    const TSkdResult r = WaitForSkd(StartSkd({"convert", input, "out.bmp"}, dir_, {},
                                             {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Shell("/usr/bin/convert out.bmp -format '%w %h' info: > size.txt");
    EXPECT_EQ(Read("size.txt"), "199 149");
    // The shapes' colours at their centres (see make_metafile_fixtures.py).
    const std::string rgb = Pixels("out.bmp");
    ASSERT_EQ(rgb.size(), 199u * 149 * 3);
    const auto at = [&](int x, int y) { return rgb.substr(3 * (y * 199 + x), 3); };
    EXPECT_EQ(at(50, 45), std::string("\xff\x00\x00", 3));
    EXPECT_EQ(at(140, 50), std::string("\x00\x00\xff", 3));
    EXPECT_EQ(at(50, 125), std::string("\x00\xff\x00", 3));
    EXPECT_EQ(at(140, 132), std::string("\xff\xff\x00", 3));
    EXPECT_EQ(at(10, 10), std::string("\xff\xff\xff", 3));
  }
  std::ofstream(dir_ + "/broken.wmf") << "not a metafile";
  ExpectFailure({"convert", "broken.wmf", "out.jpg"}, "unrecognized WMF or EMF");
  ExpectFailure({"convert", "missing.emf", "out.jpg"}, "unrecognized WMF or EMF");
  // identify reads metafiles as the program does, drawn without a display.
  const TSkdResult identified = WaitForSkd(
      StartSkd({"identify", "shapes.wmf"}, dir_, {}, {"QT_QPA_PLATFORM", "DISPLAY"}));
  EXPECT_EQ(identified.exit_code, 0) << identified.err;
  EXPECT_EQ(identified.out, "shapes.wmf\tWMF or EMF\t199\t149\t-\t-\n");
}

TEST_F(SkdImageTest, ASkdWithoutItsMetafileModuleSaysWhatIsMissing) {
  // skd loads metafile drawing from a module beside it; a copy of skd alone in a folder has none.
  Shell("/usr/bin/python3 " SK_TEST_SCRIPTS_DIR "/make_metafile_fixtures.py .");
  Shell("mkdir alone && (ln '" SK_SKD_PATH "' alone/skd 2>/dev/null || cp '" SK_SKD_PATH
        "' alone/skd)");
  Shell("alone/skd convert shapes.wmf out.bmp 2> err.txt; echo $? > status.txt");
  EXPECT_EQ(Read("status.txt"), "1\n");
  const std::string err = Read("err.txt");
  EXPECT_NE(err.find("cannot draw metafiles without skd-metafile.so"), std::string::npos) << err;
  EXPECT_NE(err.find("unrecognized WMF or EMF"), std::string::npos) << err;
  // Other pictures need no module.
  Shell("alone/skd convert photo.bmp out.jpg");
}

TEST_F(SkdImageTest, IdentifyPrintsOneLinePerFileAndGoesOnAfterAFailure) {
  // A three-page 150 dpi TIFF (tiffcp joins the pages), an ImageMagick PCX and the JPEG and BMP.
  Shell("/usr/bin/convert -size 13x7 xc:red -depth 8 -density 150 -units PixelsPerInch a.tif");
  Shell("tiffcp -c lzw a.tif a.tif a.tif pages.tif");
  Shell("/usr/bin/convert -size 9x5 xc:blue -density 72 -units PixelsPerInch blue.pcx");
  std::ofstream(dir_ + "/broken.tif") << "II*";
  const TSkdResult r =
      RunSkd({"identify", "pages.tif", "blue.pcx", "broken.tif", "photo.jpg", "photo.bmp"}, dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out,
            "pages.tif\tTIFF\t13\t7\t150x150\t3\n"
            "blue.pcx\tPCX\t9\t5\t72x72\t-\n"
            "photo.jpg\tJPEG\t67\t45\t300x300\t-\n"
            "photo.bmp\tBMP\t31\t17\t-\t-\n");
  EXPECT_EQ(r.err, "skd: broken.tif: unrecognized TIFF\n");
}

TEST_F(SkdImageTest, AddTakesTiffAndPcxFiles) {
  Shell("/usr/bin/convert photo.bmp -depth 8 -compress lzw scan.tif");
  Shell("/usr/bin/convert photo.bmp scan.pcx");
  ASSERT_EQ(RunSkd({"create", "v.skd"}, dir_).exit_code, 0);
  const TSkdResult added = RunSkd({"add", "v.skd", "scan.tif", "scan.pcx"}, dir_);
  ASSERT_EQ(added.exit_code, 0) << added.err;
  EXPECT_EQ(RunSkd({"list", "v.skd"}, dir_).out, "scan\nscan (1)\n");
}

TEST_F(SkdImageTest, ConvertReadsTiffAndPcxFiles) {
  Shell("/usr/bin/convert photo.bmp -depth 8 photo.tif");
  Shell("tiffcp -c lzw:2 -r 5 photo.tif photo-lzw.tif");
  Shell("/usr/bin/convert photo.bmp photo.pcx");
  for (const char* input : {"photo-lzw.tif", "photo.pcx"}) {
    SCOPED_TRACE(input);
    const TSkdResult r = RunSkd({"convert", input, "out.bmp"}, dir_);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Pixels("out.bmp"), Pixels("photo.bmp"));
  }
  ExpectFailure({"convert", "missing.tif", "out.bmp"}, "unrecognized TIFF");
  ExpectFailure({"convert", "photo.bmp.pcx", "out.bmp"}, "unrecognized PCX");
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

TEST_F(SkdImageTest, ConvertTurnsATiffPageAsItsOrientationSays) {
  // ImageMagick writes the orientation field and turns the pixels itself with -auto-orient.
  Shell("/usr/bin/convert photo.bmp -depth 8 -orient RightTop turned.tif");
  Shell("/usr/bin/convert turned.tif -auto-orient expected.bmp");
  const TSkdResult r = RunSkd({"convert", "turned.tif", "out.bmp"}, dir_);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Pixels("out.bmp"), Pixels("expected.bmp"));
  EXPECT_NE(Pixels("out.bmp"), Pixels("photo.bmp"));
}

}  // namespace
}  // namespace sk::test
