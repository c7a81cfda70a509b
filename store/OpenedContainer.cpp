// Reading the data and index sections of an opened container in place, and writing a new data
// section from the opened one and the working data file.
#include "store/OpenedContainer.h"

#include <algorithm>
#include <cerrno>

#include "store/BFStream.h"

namespace sk {

int64_t CipherChunkSize(int64_t section_length) {
  return std::clamp<int64_t>(section_length, kMinTransferBuffer, kMaxTransferBuffer);
}

void CopySection(TFile& from, TFile& to, int64_t length, const std::optional<TDigest>& key) {
  if (!key) {
    to.CopyFrom(from, length);  // plain sections need no pass through our memory
    return;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(CipherChunkSize(length)));
  for (int64_t left = length; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, std::ssize(buffer)));
    std::span<uint8_t> chunk(buffer.data(), n);
    from.ReadExact(chunk);
    Cipher(chunk, *key);
    to.Write(chunk);
    left -= static_cast<int64_t>(n);
  }
}

TOpenedContainer::TOpenedContainer(TFile file, TSectionPlace data, TSectionPlace index,
                                   std::optional<TDigest> key)
    : file_(std::move(file)), data_(data), index_(index), key_(key) {}

void TOpenedContainer::ReadData(int64_t offset, std::span<uint8_t> into) {
  const auto size = static_cast<int64_t>(into.size());
  if (offset < 0 || size > data_.length - offset) throw EOSError(EIO, "read", file_.Path());
  if (!key_) {
    file_.ReadExactAt(data_.at + offset, into);
    return;
  }
  // The keystream restarts with every chunk: a piece of a chunk is deciphered with its whole
  // chunk, which stays at hand for the next piece.
  const int64_t chunk_size = CipherChunkSize(data_.length);
  for (int64_t done = 0; done < size;) {
    const int64_t number = (offset + done) / chunk_size;
    const int64_t start = number * chunk_size;
    if (number != chunk_number_) {
      chunk_number_ = -1;
      chunk_.resize(static_cast<size_t>(std::min(chunk_size, data_.length - start)));
      file_.ReadExactAt(data_.at + start, chunk_);
      Cipher(chunk_, *key_);
      chunk_number_ = number;
    }
    const int64_t from = offset + done - start;
    const int64_t n = std::min(size - done, std::ssize(chunk_) - from);
    std::copy_n(chunk_.begin() + from, n, into.begin() + done);
    done += n;
  }
}

std::vector<uint8_t> TOpenedContainer::ReadIndex() {
  std::vector<uint8_t> bytes(static_cast<size_t>(index_.length));
  file_.ReadExactAt(index_.at, bytes);
  if (key_) {
    const int64_t chunk_size = CipherChunkSize(index_.length);
    for (int64_t at = 0; at < index_.length; at += chunk_size) {
      Cipher(
          std::span(bytes).subspan(static_cast<size_t>(at),
                                   static_cast<size_t>(std::min(chunk_size, index_.length - at))),
          *key_);
    }
  }
  return bytes;
}

void TOpenedContainer::Close() noexcept {
  file_.Release();
  data_ = index_ = {};
  key_.reset();
  chunk_number_ = -1;
  chunk_.clear();
  chunk_.shrink_to_fit();
}

int64_t TOpenedContainer::StoredPrefixFor(int64_t total, const std::optional<TDigest>& key) const {
  if (!key_ && !key) return data_.length;
  if (!key_ || !key || *key_ != *key) return 0;
  // The same cipher key: chunks that lie wholly in the old section are the same when the chunk
  // size is too (a section of at least one largest chunk keeps it as it grows).
  const int64_t chunk_size = CipherChunkSize(total);
  if (CipherChunkSize(data_.length) != chunk_size) return 0;
  return data_.length / chunk_size * chunk_size;
}

void TOpenedContainer::ReadSection(TFile& working, int64_t offset, std::span<uint8_t> into) {
  const auto size = static_cast<int64_t>(into.size());
  const int64_t below = std::clamp<int64_t>(data_.length - offset, 0, size);
  if (below > 0) ReadData(offset, into.first(static_cast<size_t>(below)));
  if (below < size) {
    working.ReadExactAt(offset + below, into.subspan(static_cast<size_t>(below)));
  }
}

void TOpenedContainer::WriteDataSection(TFile& out, TFile& working, int64_t total,
                                        const std::optional<TDigest>& key) {
  int64_t done = std::min(StoredPrefixFor(total, key), total);
  if (done > 0) {
    file_.Seek(data_.at);
    out.CopyFrom(file_, done);
  }
  if (!key) {
    // A plain section: what the container holds enciphered is deciphered piece by piece, what the
    // working file holds is copied by the kernel.
    std::vector<uint8_t> buffer;
    while (done < std::min(data_.length, total)) {
      const int64_t n = std::min<int64_t>(std::min(data_.length, total) - done, kMaxTransferBuffer);
      buffer.resize(static_cast<size_t>(n));
      ReadData(done, buffer);
      out.Write(buffer);
      done += n;
    }
    if (done < total) {
      working.Seek(done);
      out.CopyFrom(working, total - done);
    }
    return;
  }
  const int64_t chunk_size = CipherChunkSize(total);
  std::vector<uint8_t> chunk;
  for (; done < total; done += std::ssize(chunk)) {
    chunk.resize(static_cast<size_t>(std::min(chunk_size, total - done)));
    ReadSection(working, done, chunk);
    Cipher(chunk, *key);
    out.Write(chunk);
  }
}

}  // namespace sk
