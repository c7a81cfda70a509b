// The batch pipeline gives exactly what reading and encoding one file after the other gives:
// the same bytes in the same order, the same failures, and the same resolution carried from a
// file that has one to the files after it that have none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/store/StoreTestUtil.h"
#include "vault/PicturePipeline.h"

namespace sk {
namespace {

class PicturePipelineTest : public test::StoreTest {
 protected:
  void SetUp() override {
    test::StoreTest::SetUp();
    // Pictures made by ImageMagick: JPEGs with and without a resolution of their own, BMPs and
    // GIFs (which carry none, so they take the one the file before left), a damaged file.
    const std::string commands =
        "cd '" + Dir() +
        "' && /usr/bin/convert -size 40x30 gradient:red-blue -density 300 "
        "-units PixelsPerInch a.jpg && /usr/bin/convert -size 31x17 plasma:fractal -seed 3 b.bmp "
        "&& /usr/bin/convert -size 20x20 xc:orange -density 72 -units PixelsPerInch c.jpg && "
        "/usr/bin/convert -size 25x15 gradient:green-white d.gif && "
        "/usr/bin/convert -size 12x12 xc:navy e.bmp && printf 'GIF89a' > broken.gif";
    ASSERT_EQ(std::system(commands.c_str()), 0);
  }

  struct TRun {
    std::vector<std::string> files;
    std::vector<std::vector<uint8_t>> streams;  // empty where the file failed
    std::vector<bool> load_failed;
    TResolution last_resolution;
  };

  TRun Run(const std::vector<std::string>& names, int workers) {
    TRun run;
    std::vector<std::string> files;
    for (const std::string& name : names) files.push_back(Path(name));
    TOffscreenPicture picture;
    picture.Host().SetDPI(11, 12);  // what the host held before the batch
    TPicturePipeline pipeline(files, 75, picture, workers, 2);
    while (pipeline.HasNext()) {
      TPipelineResult result = pipeline.Next();
      run.files.push_back(result.file_name);
      run.load_failed.push_back(static_cast<bool>(result.load_error));
      const auto bytes = result.stream.Bytes();
      run.streams.emplace_back(bytes.begin(), bytes.end());
    }
    run.last_resolution = {picture.Host().DpiX(), picture.Host().DpiY()};
    return run;
  }
};

TEST_F(PicturePipelineTest, PipelinedResultsAreByteIdenticalToSequentialOnes) {
  const std::vector<std::vector<std::string>> batches = {
      {"b.bmp", "a.jpg", "b.bmp", "d.gif", "c.jpg", "e.bmp"},
      {"a.jpg", "broken.gif", "e.bmp", "d.gif", "b.bmp", "c.jpg", "a.jpg", "e.bmp"},
  };
  for (const auto& batch : batches) {
    SCOPED_TRACE(batch.size());
    const TRun sequential = Run(batch, 0);
    for (int workers : {1, 2, 3}) {
      SCOPED_TRACE(workers);
      const TRun pipelined = Run(batch, workers);
      EXPECT_EQ(pipelined.files, sequential.files);
      EXPECT_EQ(pipelined.load_failed, sequential.load_failed);
      EXPECT_EQ(pipelined.streams, sequential.streams);
      EXPECT_EQ(pipelined.last_resolution, sequential.last_resolution);
    }
  }
}

TEST_F(PicturePipelineTest, AFileWithoutAResolutionTakesTheOneBeforeIt) {
  const TRun run = Run({"b.bmp", "a.jpg", "e.bmp"}, 2);
  ASSERT_EQ(run.streams.size(), 3u);
  // JFIF density bytes (units, x, y) at offsets 13..17 of the JPEG after the 12-byte frame.
  auto density = [](const std::vector<uint8_t>& framed) {
    const size_t at = 12 + 13;
    return std::vector<uint8_t>(framed.begin() + at, framed.begin() + at + 5);
  };
  EXPECT_EQ(density(run.streams[0]), (std::vector<uint8_t>{1, 0, 11, 0, 12}));
  EXPECT_EQ(density(run.streams[1]), (std::vector<uint8_t>{1, 1, 44, 1, 44}));
  EXPECT_EQ(density(run.streams[2]), (std::vector<uint8_t>{1, 1, 44, 1, 44}));
  EXPECT_EQ(run.last_resolution, (TResolution{300, 300}));
}

}  // namespace
}  // namespace sk
