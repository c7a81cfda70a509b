// skd's store commands driven as a user would drive them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

class SkdStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-skd-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  TSkdResult Skd(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env = {}) {
    return RunSkd(args, dir_, env);
  }
  // Runs skd and expects success.
  std::string Ok(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env = {}) {
    const TSkdResult r = Skd(args, env);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) { return fs::exists(dir_ + "/" + name); }
  std::string dir_;
};

TEST_F(SkdStoreTest, CreateWritesEmptyContainerAndKeepsExistingStores) {
  Ok({"create", "album"});
  EXPECT_EQ(ReadFile("album.kes"), std::string("KES\0\0\0\0\0IXS\0\4\0\0\0\0\0\0\0", 20));
  WriteFile("p.txt", "picture");
  Ok({"put", "album.kes", "one", "p.txt"});
  const std::string before = ReadFile("album.kes");
  Ok({"create", "album.kes"});
  EXPECT_EQ(ReadFile("album.kes"), before);

  WriteFile("notes.txt", "not a store");
  const TSkdResult r = Skd({"create", "notes.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("is not a valid Velmora Database file"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile("notes.txt"), "not a store");
}

TEST_F(SkdStoreTest, FolderOrFifoAsStoreIsRefusedWithoutWaiting) {
  fs::create_directory(dir_ + "/album.kes");
  ASSERT_EQ(::mkfifo((dir_ + "/pipe.kes").c_str(), 0600), 0);
  struct Case {
    const char* name;
    const char* message;
  };
  for (const Case& c : {Case{"album.kes", "is a folder, not a store file"},
                        Case{"pipe.kes", "is not a regular file"}}) {
    for (const char* command : {"create", "info", "list"}) {
      SCOPED_TRACE(std::string(command) + " " + c.name);
      const TSkdResult r = Skd({command, c.name});
      EXPECT_EQ(r.exit_code, 1);
      if (std::string(command) == "create" || std::string(c.name) == "pipe.kes") {
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      }
    }
  }
  EXPECT_TRUE(fs::is_directory(dir_ + "/album.kes"));
  EXPECT_TRUE(fs::is_fifo(dir_ + "/pipe.kes"));
}

// skd put and pack killed at random moments: the store always reopens as it was before or after,
// and that open sweeps away what the killed process left behind. The kill moments are spread over
// the time a whole run takes here; the seed is printed so that a failure can be replayed.
TEST_F(SkdStoreTest, KilledPutOrPackLeavesTheStoreAsBeforeOrAfter) {
  const std::string tmp = dir_ + "/tmp";
  fs::create_directory(tmp);
  const std::map<std::string, std::string> env = {{"TMPDIR", tmp}};
  std::mt19937 rng(std::random_device{}());
  auto noise = [&](size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
  };
  for (const char* name : {"a", "b", "c"}) {
    WriteFile(name, noise(400000));
    Ok({"put", "s.skd", name, name}, env);
  }
  Ok({"delete", "s.skd", "a"}, env);
  const std::string b = ReadFile("b");
  WriteFile("new", noise(1500000));
  const std::string original = ReadFile("s.skd");

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  rng.seed(seed);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> listings;  // before, after
  };
  const Case cases[] = {
      {{"put", "s.skd", "new", "new", "--compress"}, {"b\nc\n", "b\nc\nnew\n"}},
      {{"pack", "s.skd"}, {"b\nc\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const auto start = std::chrono::steady_clock::now();
    Ok(c.args, env);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::uniform_int_distribution<int64_t> moment(0, whole.count());
    for (int round = 0; round < 10; ++round) {
      WriteFile("s.skd", original);
      const std::chrono::microseconds at(moment(rng));
      SCOPED_TRACE("killed after " + std::to_string(at.count()) + " us");
      RunSkd(c.args, dir_, env, at);
      // A process killed after a flush leaves a session; discarding it keeps the store as it is.
      const std::string listing = Ok({"--discard", "list", "s.skd"}, env);
      EXPECT_NE(std::find(c.listings.begin(), c.listings.end(), listing), c.listings.end())
          << listing;
      EXPECT_EQ(Ok({"get", "s.skd", "b"}, env), b);
      if (listing.find("new") != std::string::npos) {
        EXPECT_EQ(Ok({"get", "s.skd", "new"}, env), ReadFile("new"));
      }
      // The list swept the killed process's working files and half-written container.
      EXPECT_TRUE(fs::is_empty(tmp));
      for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().filename().string().rfind("TDB", 0), 0u) << entry.path();
      }
    }
  }
}

TEST_F(SkdStoreTest, CreateLooksOnlyAtTheSignatureOfALargeFile) {
  // 4 GB, nearly all of it a hole: reading it whole would take gigabytes of memory.
  WriteFile("big.kes", std::string("KES\0", 4));
  ASSERT_EQ(::truncate((dir_ + "/big.kes").c_str(), int64_t{4} << 30), 0);
  Ok({"create", "big.kes"});
  EXPECT_EQ(fs::file_size(dir_ + "/big.kes"), uint64_t{4} << 30);
}

TEST_F(SkdStoreTest, EmptyItemGoesToStandardOutputAsNothing) {
  WriteFile("empty", "");
  Ok({"put", "s.skd", "nothing", "empty"});
  const TSkdResult r = Skd({"get", "s.skd", "nothing"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(SkdStoreTest, ReadingCommandsNeverCreateOrRewrite) {
  for (const char* command : {"list", "info"}) {
    SCOPED_TRACE(command);
    const TSkdResult r = Skd({command, "missing.skd"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_FALSE(Exists("missing.skd"));
  }
  Ok({"create", "s.skd"});
  WriteFile("p", "x");
  Ok({"put", "s.skd", "k", "p"});
  const std::string before = ReadFile("s.skd");
  struct stat st_before {};
  ::stat((dir_ + "/s.skd").c_str(), &st_before);
  Ok({"list", "s.skd"});
  Ok({"info", "s.skd"});
  Ok({"get", "s.skd", "k"});
  struct stat st_after {};
  ::stat((dir_ + "/s.skd").c_str(), &st_after);
  EXPECT_EQ(ReadFile("s.skd"), before);
  EXPECT_EQ(st_after.st_mtim.tv_nsec, st_before.st_mtim.tv_nsec);
  EXPECT_EQ(st_after.st_ino, st_before.st_ino);
}

TEST_F(SkdStoreTest, PutGetListDeleteRoundTrip) {
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteFile("big.bin", big);
  WriteFile("small.txt", "hello");
  Ok({"put", "s.skd", "Zebra", "small.txt"});
  Ok({"put", "s.skd", "caf\xC3\xA9", "big.bin", "--compress"});
  Ok({"put", "s.skd", "apple", "small.txt"});
  EXPECT_EQ(Ok({"list", "s.skd"}), "apple\ncaf\xC3\xA9\nZebra\n");
  EXPECT_EQ(Ok({"list", "-0", "s.skd"}), std::string("apple\0caf\xC3\xA9\0Zebra\0", 18));
  EXPECT_EQ(Ok({"get", "s.skd", "CAF\xC3\x89"}), big);
  Ok({"get", "s.skd", "zebra", "-o", "out.txt"});
  EXPECT_EQ(ReadFile("out.txt"), "hello");

  const TSkdResult duplicate = Skd({"put", "s.skd", "APPLE", "small.txt"});
  EXPECT_EQ(duplicate.exit_code, 1);
  EXPECT_NE(duplicate.err.find("Only one person with that name is allowed"), std::string::npos);

  const TSkdResult missing = Skd({"delete", "s.skd", "apple", "nothing", "zebra"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("nothing"), std::string::npos) << missing.err;
  // The deletion before the missing key is kept; nothing after it is deleted.
  EXPECT_EQ(Ok({"list", "s.skd"}), "caf\xC3\xA9\nZebra\n");

  const std::string info = Ok({"info", "s.skd"});
  EXPECT_NE(info.find("file: " + dir_ + "/s.skd\n"), std::string::npos) << info;
  EXPECT_NE(info.find("count: 2\n"), std::string::npos);
  EXPECT_NE(info.find("protected: no\n"), std::string::npos);
  EXPECT_NE(info.find("case-sensitive: no\n"), std::string::npos);
  EXPECT_NE(info.find("data-bytes: "), std::string::npos);
}

TEST_F(SkdStoreTest, KeysThatCannotBeStoredAsTheyAre) {
  WriteFile("p", "x");
  Ok({"put", "s.skd", "sun \xE2\x98\x80", "p"});  // U+2600 has no Windows-1252 character
  EXPECT_EQ(Ok({"list", "s.skd"}), "sun ?\n");
  struct Case {
    std::string key;
    const char* message;
  };
  for (const Case& c : {Case{"sun \xE2\x98\x80", "cannot hold"},
                        Case{std::string(256, 'k'), "longer than 255"},
                        Case{"moon", "there is no item 'moon'"}}) {
    SCOPED_TRACE(c.message);
    for (const char* command : {"get", "delete"}) {
      const TSkdResult r = Skd({command, "s.skd", c.key});
      EXPECT_EQ(r.exit_code, 1);
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(Ok({"list", "s.skd"}), "sun ?\n");
}

TEST_F(SkdStoreTest, PasswordProtectionThroughFileAndEnvironment) {
  WriteFile("p", "secret picture");
  WriteFile("pw", "s\xC3\xA9same\n");
  WriteFile("empty", "\n");
  Ok({"put", "s.skd", "k", "p"});
  // A password offered for an unprotected store never protects it.
  Ok({"list", "s.skd"}, {{"SKD_PASSWORD", "s\xC3\xA9same"}});
  Ok({"put", "s.skd", "k2", "p"}, {{"SKD_PASSWORD", "s\xC3\xA9same"}});
  EXPECT_NE(Ok({"info", "s.skd"}).find("protected: no"), std::string::npos);

  Ok({"passwd", "s.skd", "--new-password-file", "pw", "--legacy"});
  EXPECT_EQ(ReadFile("s.skd").substr(4, 4), std::string("PWS\0", 4));
  const TSkdResult denied = Skd({"list", "s.skd"});
  EXPECT_EQ(denied.exit_code, 1);
  EXPECT_NE(denied.err.find("ACCESS DENIED - Gimme a good password now please"), std::string::npos);
  EXPECT_EQ(Skd({"list", "s.skd"}, {{"SKD_PASSWORD", "wrong"}}).exit_code, 1);
  EXPECT_EQ(Ok({"get", "s.skd", "k", "--password-file", "pw"}), "secret picture");
  EXPECT_NE(Ok({"info", "s.skd"}, {{"SKD_PASSWORD", "s\xC3\xA9same"}}).find("protected: yes"),
            std::string::npos);
  // Writing commands keep the protection.
  Ok({"put", "s.skd", "k3", "p", "--password-file", "pw"});
  EXPECT_EQ(Skd({"list", "s.skd"}).exit_code, 1);

  const TSkdResult bad = Skd({"list", "s.skd"}, {{"SKD_PASSWORD", "\xE2\x98\x80"}});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("cannot hold"), std::string::npos);

  Ok({"passwd", "s.skd", "--password-file", "pw", "--new-password-file", "empty"});
  EXPECT_EQ(Ok({"list", "s.skd"}), "k\nk2\nk3\n");
}

TEST_F(SkdStoreTest, PasswdChoosesTheKindAndInfoTellsIt) {
  WriteFile("p", "secret picture");
  WriteFile("pw", "s\xC3\xA9same\n");
  WriteFile("pw2", "other\n");
  Ok({"put", "s.skd", "k", "p"});
  EXPECT_NE(Ok({"info", "s.skd"}).find("protection: none\n"), std::string::npos);
  // A store without a password becomes strong unless told otherwise.
  Ok({"passwd", "s.skd", "--new-password-file", "pw"});
  EXPECT_EQ(ReadFile("s.skd").substr(0, 4), std::string("SKV\0", 4));
  EXPECT_EQ(ReadFile("s.skd").find("secret picture"), std::string::npos);
  EXPECT_EQ(Skd({"list", "s.skd"}, {{"SKD_PASSWORD", "wrong"}}).exit_code, 1);
  EXPECT_NE(Ok({"info", "s.skd", "--password-file", "pw"}).find("protection: strong\n"),
            std::string::npos);
  // A new password keeps the kind; --legacy and --strong change it.
  Ok({"passwd", "s.skd", "--password-file", "pw", "--new-password-file", "pw2"});
  EXPECT_EQ(ReadFile("s.skd").substr(0, 4), std::string("SKV\0", 4));
  Ok({"passwd", "s.skd", "--password-file", "pw2", "--new-password-file", "pw", "--legacy"});
  EXPECT_NE(Ok({"info", "s.skd", "--password-file", "pw"}).find("protection: legacy\n"),
            std::string::npos);
  Ok({"passwd", "s.skd", "--password-file", "pw", "--new-password-file", "pw", "--strong"});
  EXPECT_EQ(Ok({"get", "s.skd", "k", "--password-file", "pw"}), "secret picture");
  EXPECT_EQ(Skd({"passwd", "s.skd", "--new-password-file", "pw", "--strong", "--legacy"}).exit_code,
            2);
}

TEST_F(SkdStoreTest, PackShrinksAndKillNeedsConfirmation) {
  WriteFile("a", std::string(5000, 'a'));
  WriteFile("b", std::string(3000, 'b'));
  Ok({"put", "s.skd", "a", "a"});
  Ok({"put", "s.skd", "b", "b"});
  Ok({"delete", "s.skd", "a"});
  const size_t before = ReadFile("s.skd").size();
  Ok({"pack", "s.skd"});
  EXPECT_EQ(ReadFile("s.skd").size(), before - 5000);
  EXPECT_EQ(Ok({"get", "s.skd", "b"}), std::string(3000, 'b'));

  const TSkdResult refused = Skd({"kill", "s.skd"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_TRUE(Exists("s.skd"));
  Ok({"kill", "s.skd", "--yes"});
  EXPECT_FALSE(Exists("s.skd"));
}

TEST_F(SkdStoreTest, ListFiltersWithPlainTextOrPattern) {
  WriteFile("p", "x");
  for (const char* key : {"cat", "cats", "tomcat", "dog"}) Ok({"put", "s.skd", key, "p"});
  EXPECT_EQ(Ok({"list", "s.skd", "--filter", "cat"}), "cat\n");
  EXPECT_EQ(Ok({"list", "s.skd", "--filter", "<cat>"}), "cat\ncats\ntomcat\n");
  EXPECT_EQ(Ok({"list", "s.skd", "--filter", "^.o", "--grep"}), "dog\ntomcat\n");
}

TEST_F(SkdStoreTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Skd({}).exit_code, 2);
  EXPECT_EQ(Skd({"list"}).exit_code, 2);
  EXPECT_EQ(Skd({"frobnicate"}).exit_code, 2);
  EXPECT_EQ(Skd({"--help"}).exit_code, 0);
}

}  // namespace
}  // namespace sk::test
