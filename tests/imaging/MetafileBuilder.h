// Builds WMF and EMF bytes record by record for the parser tests, including malformed ones.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sk::test {

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A placeable WMF (or a plain one) whose records are given as 16-bit parameter words.
class TWmfBuilder {
 public:
  TWmfBuilder(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t inch,
              uint16_t objects = 4)
      : objects_(objects), placeable_(true), bbox_{left, top, right, bottom}, inch_(inch) {}
  static TWmfBuilder Plain(uint16_t objects = 4) {
    TWmfBuilder b(0, 0, 0, 0, 0, objects);
    b.placeable_ = false;
    return b;
  }

  // A record with the given parameter words (as 16-bit values) and extra bytes (padded to even).
  TWmfBuilder& Record(uint16_t function, std::initializer_list<int32_t> words,
                      std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> body;
    for (int32_t w : words) Put16(body, static_cast<uint32_t>(w) & 0xFFFF);
    body.insert(body.end(), data.begin(), data.end());
    if (body.size() % 2 != 0) body.push_back(0);
    Put32(records_, static_cast<uint32_t>(3 + body.size() / 2));
    Put16(records_, function);
    records_.insert(records_.end(), body.begin(), body.end());
    return *this;
  }
  // Bytes appended as they are (for records with a wrong size).
  TWmfBuilder& Raw(std::vector<uint8_t> bytes) {
    records_.insert(records_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  TWmfBuilder& Header(uint16_t type, uint16_t header_words) {
    type_ = type;
    header_words_ = header_words;
    return *this;
  }

  std::vector<uint8_t> Bytes(bool eof = true) const {
    std::vector<uint8_t> out;
    if (placeable_) {
      Put32(out, 0x9AC6CDD7);
      Put16(out, 0);
      for (int16_t v : bbox_) Put16(out, static_cast<uint16_t>(v));
      Put16(out, inch_);
      Put32(out, 0);
      Put16(out, 0);  // checksum: not checked by the reader
    }
    std::vector<uint8_t> records = records_;
    if (eof) {
      Put32(records, 3);
      Put16(records, 0);
    }
    Put16(out, type_);
    Put16(out, header_words_);
    Put16(out, 0x0300);
    Put32(out, static_cast<uint32_t>(9 + records.size() / 2));
    Put16(out, objects_);
    Put32(out, 0);
    Put16(out, 0);
    out.insert(out.end(), records.begin(), records.end());
    return out;
  }

 private:
  uint16_t objects_;
  bool placeable_;
  int16_t bbox_[4];
  uint16_t inch_;
  uint16_t type_ = 1;
  uint16_t header_words_ = 9;
  std::vector<uint8_t> records_;
};

// An EMF with a frame in 0.01 mm on a reference device of 3.78 pixels per millimetre (close to
// 96 dpi), whose records are given as 32-bit fields.
class TEmfBuilder {
 public:
  TEmfBuilder(int32_t left, int32_t top, int32_t right, int32_t bottom, uint16_t handles = 8)
      : frame_{left, top, right, bottom}, handles_(handles) {}

  TEmfBuilder& Record(uint32_t type, std::initializer_list<int64_t> fields,
                      std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> body;
    for (int64_t f : fields) Put32(body, static_cast<uint32_t>(f));
    body.insert(body.end(), data.begin(), data.end());
    while (body.size() % 4 != 0) body.push_back(0);
    Put32(records_, type);
    Put32(records_, static_cast<uint32_t>(8 + body.size()));
    records_.insert(records_.end(), body.begin(), body.end());
    return *this;
  }
  TEmfBuilder& Raw(std::vector<uint8_t> bytes) {
    records_.insert(records_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  TEmfBuilder& HeaderSize(uint32_t size) {
    header_size_ = size;
    return *this;
  }

  std::vector<uint8_t> Bytes(bool eof = true) const {
    std::vector<uint8_t> out;
    Put32(out, 1);
    Put32(out, header_size_);
    for (int i = 0; i < 4; ++i) Put32(out, 0);  // bounds
    for (int32_t v : frame_) Put32(out, static_cast<uint32_t>(v));
    Put32(out, 0x464D4520);
    Put32(out, 0x10000);
    Put32(out, 0);  // bytes: not checked by the reader
    Put32(out, 0);  // records
    Put16(out, handles_);
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 3780);
    Put32(out, 3780);
    Put32(out, 1000);
    Put32(out, 1000);
    while (out.size() < header_size_ && out.size() < 1024) out.push_back(0);
    out.insert(out.end(), records_.begin(), records_.end());
    if (eof) {
      for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) Put32(out, v);
    }
    return out;
  }

 private:
  int32_t frame_[4];
  uint16_t handles_;
  uint32_t header_size_ = 88;
  std::vector<uint8_t> records_;
};

// A bottom-up 24-bit DIB (BITMAPINFOHEADER then rows padded to 4 bytes) of width x height with
// the given pixels, top row first, as colour values (red in the low byte).
inline std::vector<uint8_t> Dib24(int32_t width, int32_t height, std::vector<uint32_t> top_down) {
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, 24);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  for (int32_t y = height - 1; y >= 0; --y) {
    size_t row_start = out.size();
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = top_down[static_cast<size_t>(y * width + x)];
      out.push_back(static_cast<uint8_t>(c >> 16));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c));
    }
    while ((out.size() - row_start) % 4 != 0) out.push_back(0);
  }
  return out;
}

}  // namespace sk::test
