// Tests of the request frames: reassembly from pieces, refusal of bad frames, line splitting and
// the UTF-8 check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RequestFrame.h"

namespace sk {
namespace {

using TNext = TRequestFramer::TNext;

std::string Header(uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>(length >> 16 & 0xFF),
          static_cast<char>(length >> 8 & 0xFF), static_cast<char>(length & 0xFF)};
}

TEST(RequestFrameTest, AFrameIsTheBigEndianLengthTheTopicAZeroByteAndTheText) {
  EXPECT_EQ(EncodeRequest("LoadFile", "/a.jpg"), Header(15) + std::string("LoadFile\0/a.jpg", 15));
  EXPECT_THROW(EncodeRequest(std::string("Load\0File", 9), ""), std::invalid_argument);
  EXPECT_NO_THROW(EncodeRequest("T", std::string(kMaxRequestBytes - 2, 'x')));
  EXPECT_THROW(EncodeRequest("T", std::string(kMaxRequestBytes - 1, 'x')), std::length_error);
}

TEST(RequestFrameTest, FramesArrivingInPiecesComeOutWholeAndInOrder) {
  const std::string bytes = EncodeRequest("LoadFile", "/first.jpg") +
                            EncodeRequest("LoadFile", "") + EncodeRequest("Other", "/x\r\n");
  for (size_t piece : {size_t{1}, size_t{3}, size_t{7}, bytes.size()}) {
    SCOPED_TRACE(piece);
    TRequestFramer framer;
    std::vector<std::pair<std::string, std::string>> taken;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      framer.Append(std::string_view(bytes).substr(at, piece));
      std::string topic;
      std::string text;
      TNext next;
      while ((next = framer.Take(topic, text)) == TNext::kRequest) taken.emplace_back(topic, text);
      EXPECT_EQ(next, TNext::kIncomplete);
    }
    EXPECT_EQ(taken, (std::vector<std::pair<std::string, std::string>>{
                         {"LoadFile", "/first.jpg"}, {"LoadFile", ""}, {"Other", "/x\r\n"}}));
    EXPECT_EQ(framer.Buffered(), 0u);
  }
}

TEST(RequestFrameTest, BadFramesAreRefusedWithoutHarm) {
  const std::string good = EncodeRequest("LoadFile", "/ok.jpg");
  const struct {
    const char* what;
    std::string bytes;
    TNext first;
    bool good_follows;  // the good frame after it is still read
  } cases[] = {
      {"zero length", Header(0) + good, TNext::kMalformed, true},
      {"no zero byte after the topic", Header(3) + "abc" + good, TNext::kMalformed, true},
      {"one byte over the limit", Header(kMaxRequestBytes + 1) + good, TNext::kOversized, false},
      {"a length of 4 GiB - 1", Header(0xFFFFFFFF) + good, TNext::kOversized, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TRequestFramer framer;
    framer.Append(c.bytes);
    std::string topic;
    std::string text;
    EXPECT_EQ(framer.Take(topic, text), c.first);
    const TNext next = framer.Take(topic, text);
    if (c.good_follows) {
      EXPECT_EQ(next, TNext::kRequest);
      EXPECT_EQ(text, "/ok.jpg");
    } else {
      // Nothing after a length that cannot be trusted is read, and nothing is kept.
      EXPECT_EQ(next, TNext::kOversized);
      EXPECT_EQ(framer.Buffered(), 0u);
    }
  }
}

TEST(RequestFrameTest, TheTextIsSplitAtEveryKindOfLineBreak) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"/a.jpg", {"/a.jpg"}},
      {"/a.jpg\n", {"/a.jpg"}},
      {"/a.jpg\r\nsecond", {"/a.jpg", "second"}},
      {"one\rtwo\nthree", {"one", "two", "three"}},
      {"\n\nx", {"", "", "x"}},
      {"a\r\n\r\n", {"a", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitRequestLines(c.text), c.lines);
  }
}

TEST(RequestFrameTest, OnlyWellFormedUtf8IsValid) {
  const struct {
    const char* what;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"ASCII", "/home/a.jpg", true},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
      {"a lone continuation byte", "\x80", false},
      {"cut short", "\xE2\x82", false},
      {"overlong slash", "\xC0\xAF", false},
      {"a surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"Windows-1252 e acute", "caf\xE9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
  }
}

}  // namespace
}  // namespace sk
