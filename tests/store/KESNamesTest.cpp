// Keys from file names and unique keys, growing and numbered.
#include <gtest/gtest.h>

#include "store/KESNames.h"
#include "tests/store/StoreTestUtil.h"

namespace sk {
namespace {

TEST(KESNamesTest, NameFromFileNameDropsAThreeLetterExtension) {
  struct Case {
    const char* file;
    const char* key;
  };
  for (const Case& c : {Case{"/pictures/cat.jpg", "cat"}, Case{"cat.jpeg", "cat.jpeg"},
                        Case{"a.b", "a.b"}, Case{"scan.tiff", "scan.tiff"},
                        Case{"dir.x/.bmp", ""}, Case{"noext", "noext"}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(NameFromFileName(c.file), c.key);
  }
  EXPECT_EQ(NameFromFileName(std::string(300, 'n') + ".gif").size(), 255u);
}

class KESUniqueKeyTest : public test::StoreTest {
 protected:
  void Add(TKES& store, const std::string& key) {
    TMemoryStream stream = test::StreamOf("x");
    store.AddItem(stream, key);
  }
  TCollator collator_{"en_US"};
};

TEST_F(KESUniqueKeyTest, GrowingSuffixesAccumulateAndNumberedOnesDoNot) {
  TKES store(&collator_);
  store.SetFileName(Path("u.skd"));
  EXPECT_EQ(UniqueKeyGrowing(store, "photo"), "photo");
  Add(store, "photo");
  EXPECT_EQ(UniqueKeyGrowing(store, "photo"), "photo (1)");
  Add(store, "photo (1)");
  EXPECT_EQ(UniqueKeyGrowing(store, "PHOTO"), "PHOTO (1) (2)");
  EXPECT_EQ(UniqueKeyNumbered(store, "photo"), "photo (2)");
}

TEST_F(KESUniqueKeyTest, KeyThatCannotGrowEndsWithAnError) {
  TKES store(&collator_);
  store.SetFileName(Path("u.skd"));
  const std::string full(255, 'k'), nearly(251, 'k');
  Add(store, full);
  EXPECT_THROW(UniqueKeyGrowing(store, full), EKeyNotUnique);
  EXPECT_THROW(UniqueKeyNumbered(store, full), EKeyNotUnique);
  Add(store, nearly);
  EXPECT_EQ(UniqueKeyNumbered(store, nearly), nearly + " (1)");
  Add(store, nearly + " (1)");
  EXPECT_THROW(UniqueKeyGrowing(store, nearly), EKeyNotUnique);
}

}  // namespace
}  // namespace sk
