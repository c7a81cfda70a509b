// The byte streams the codecs read from and write to, and their bindings to memory streams and
// files. A codec sees only TByteSource or TByteSink, so it works on either.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Files.h"
#include "platform/MemoryStream.h"

namespace sk {

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Copies up to buffer.size() bytes from the current position on and advances past them;
  // returns how many were copied, fewer only at the end. May raise the stream's own errors.
  virtual size_t Read(std::span<uint8_t> buffer) = 0;
  // How many bytes are left from the current position, when the source knows; a decoder uses it
  // to refuse a declared size the data cannot possibly hold before it allocates.
  virtual std::optional<uint64_t> Remaining() const { return std::nullopt; }
};

class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Writes all of data at the current position and advances past it, or raises the stream's
  // own error (EOSError for a file).
  virtual void Write(std::span<const uint8_t> data) = 0;
};

// Reads a memory stream from its position on; the stream's position follows every read.
class TMemorySource : public TByteSource {
 public:
  explicit TMemorySource(TMemoryStream& stream) : stream_(stream) {}
  size_t Read(std::span<uint8_t> buffer) override { return stream_.Read(buffer); }
  std::optional<uint64_t> Remaining() const override {
    return stream_.Size() - std::min(stream_.Position(), stream_.Size());
  }

 private:
  TMemoryStream& stream_;
};

// Reads bytes held in memory, which must outlive the source.
class TSpanSource : public TByteSource {
 public:
  explicit TSpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Read(std::span<uint8_t> buffer) override;
  std::optional<uint64_t> Remaining() const override { return bytes_.size() - position_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// Reads at most `limit` bytes of another source: the end of a framed item is its end.
class TLimitedSource : public TByteSource {
 public:
  TLimitedSource(TByteSource& source, uint64_t limit) : source_(source), left_(limit) {}
  size_t Read(std::span<uint8_t> buffer) override;
  std::optional<uint64_t> Remaining() const override;

 private:
  TByteSource& source_;
  uint64_t left_;
};

// Writes into a memory stream at its position, which follows every write.
class TMemorySink : public TByteSink {
 public:
  explicit TMemorySink(TMemoryStream& stream) : stream_(stream) {}
  void Write(std::span<const uint8_t> data) override { stream_.Write(data); }

 private:
  TMemoryStream& stream_;
};

// Collects the bytes in a vector (tests and small writes).
class TVectorSink : public TByteSink {
 public:
  void Write(std::span<const uint8_t> data) override {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads an open file from its position on. File errors (EOSError) pass through unchanged.
class TFileSource : public TByteSource {
 public:
  explicit TFileSource(TFile& file) : file_(file) {}
  size_t Read(std::span<uint8_t> buffer) override { return file_.Read(buffer); }

 private:
  TFile& file_;
};

// Writes an open file through a 64 KiB buffer. Flush() must be called before the file is closed:
// the destructor drops what is still buffered (it must not raise), so a sink abandoned on an
// error path never writes behind the caller's back.
class TFileSink : public TByteSink {
 public:
  explicit TFileSink(TFile& file) : file_(file) { buffer_.reserve(kBufferSize); }
  void Write(std::span<const uint8_t> data) override;
  void Flush();

 private:
  static constexpr size_t kBufferSize = 64 * 1024;
  TFile& file_;
  std::vector<uint8_t> buffer_;
};

}  // namespace sk
