// The shared add workflow: a picture file becomes a framed JPEG under a unique key, and a file that
// cannot be read leaves the store as it was.
#include <gtest/gtest.h>

#include <string>

#include "imaging/InvalidGraphic.h"
#include "store/KESNames.h"
#include "tests/store/StoreTestUtil.h"
#include "vault/AddPicture.h"

namespace sk {
namespace {

class AddPictureTest : public test::StoreTest {
 protected:
  // A 4 x 3 BMP file written by our own writer.
  std::string WritePicture(const std::string& name) {
    TOffscreenPicture source;
    source.Host().Bitmap().SetSize(4, 3);
    source.Host().Bitmap().Row(1)[0] = 0xFF;
    const std::string path = Path(name);
    source.IO().SaveToFileBMP(path);
    return path;
  }
};

TEST_F(AddPictureTest, StoresAFramedJpegUnderTheKeyAndFlushes) {
  const std::string file = WritePicture("cat.bmp");
  TKES store;
  store.SetFileName(Path("s.skd"));
  TOffscreenPicture picture;
  EXPECT_EQ(AddPictureFile(store, picture, file, "cat", TUniqueKeyRule::kGrowing, 75), "cat");
  ASSERT_TRUE(store.FindKey("cat"));
  TMemoryStream item;
  store.GetItem(item);
  TJpegImage decoded = DecodeFramedJpeg(item);
  EXPECT_EQ(decoded.picture.Width(), 4);
  EXPECT_EQ(decoded.picture.Height(), 3);
  EXPECT_FALSE(store.Modified());  // flushed
}

TEST_F(AddPictureTest, KeysAreMadeUniqueByTheCallersRule) {
  const std::string file = WritePicture("cat.bmp");
  TKES store;
  store.SetFileName(Path("s.skd"));
  TOffscreenPicture picture;
  const char* growing[] = {"cat", "cat (1)", "cat (1) (2)"};
  for (const char* expected : growing) {
    EXPECT_EQ(AddPictureFile(store, picture, file, "cat", TUniqueKeyRule::kGrowing, 75), expected);
  }
  const char* numbered[] = {"dog", "dog (1)", "dog (2)"};
  for (const char* expected : numbered) {
    EXPECT_EQ(AddPictureFile(store, picture, file, "dog", TUniqueKeyRule::kNumbered, 75), expected);
  }
}

TEST_F(AddPictureTest, AFileThatCannotBeReadLeavesTheStoreUntouched) {
  const std::string bad = Path("broken.gif");
  test::WriteBytes(bad, test::BytesOf("GIF89a\x01"));
  TKES store;
  store.SetFileName(Path("s.skd"));
  TOffscreenPicture picture;
  try {
    AddPictureFile(store, picture, bad, "broken", TUniqueKeyRule::kGrowing, 75);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_STREQ(error.what(), kUnrecognizedGif);
  }
  EXPECT_EQ(store.Count(), 0);
  EXPECT_FALSE(store.Modified());
}

TEST_F(AddPictureTest, TheStoredQualityIsThePreferenceCappedAt90) {
  const std::pair<int, int> cases[] = {{0, 0}, {75, 75}, {90, 90}, {91, 90}, {100, 90}};
  for (const auto& [preference, stored] : cases) EXPECT_EQ(StoredQuality(preference), stored);
}

}  // namespace
}  // namespace sk
