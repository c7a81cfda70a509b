// The container a store was opened from, held open while the store is: bodies are read from its
// data section in place, so a store that is only looked at is never copied, and its index section
// is read again only when a working index file has to be made from it. Also the writer of a new
// container's data section from that section and the working data file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Files.h"
#include "store/KESCipher.h"

namespace sk {

// Sections are enciphered in chunks of min(max(length, 1024), 524288) bytes, the keystream
// restarting with every chunk; reader and writer must agree on it.
int64_t CipherChunkSize(int64_t section_length);

// Copies length bytes from the position of one open file to the position of another, enciphered
// (or deciphered) chunk by chunk with key when it is set, else in the kernel.
void CopySection(TFile& from, TFile& to, int64_t length, const std::optional<TDigest>& key);

// Where a section lies in the container file.
struct TSectionPlace {
  int64_t at = 0;
  int64_t length = 0;
};

class TOpenedContainer {
 public:
  TOpenedContainer() = default;
  // key: the legacy cipher's key when the container's sections are enciphered with it.
  TOpenedContainer(TFile file, TSectionPlace data, TSectionPlace index, std::optional<TDigest> key);

  bool IsOpen() const { return file_.IsOpen(); }
  // The length of the data section that is still read from the container (0 after DropData).
  int64_t DataLength() const { return data_.length; }
  int64_t IndexLength() const { return index_.length; }
  // Gives the opened file a second name (see TFile::LinkAs).
  bool LinkAs(const std::string& path) const { return file_.LinkAs(path); }

  // Reads bytes [offset, offset + into.size()) of the data section as the store keeps them
  // (deciphered when the section is enciphered). Raises EOSError(EIO) when they lie outside the
  // section or the file has become shorter.
  void ReadData(int64_t offset, std::span<uint8_t> into);
  // Reads bytes of the store's whole data section: below DataLength() from this section, above it
  // from the same offsets of working (the working data file). Raises EOSError when they are not
  // there.
  void ReadSection(TFile& working, int64_t offset, std::span<uint8_t> into);
  // The index section as the working index file holds it: deciphered when it is enciphered.
  std::vector<uint8_t> ReadIndex();
  // From now on no body is read from the container: Pack has moved them all into a working file.
  void DropData() { data_ = {}; }
  // Lets the file go (it was only read).
  void Close() noexcept;

  // Writes a data section of total bytes at out's position: bytes [0, DataLength()) as this
  // section holds them, the rest from the same offsets of working; enciphered in chunks with key
  // when it is set. Whole chunks that the container already holds enciphered as they must be
  // written, and a plain section into a plain one, are copied by the kernel without passing
  // through memory.
  void WriteDataSection(TFile& out, TFile& working, int64_t total,
                        const std::optional<TDigest>& key);

 private:
  // Bytes [0, n) of the section whose stored form is what the new section needs there.
  int64_t StoredPrefixFor(int64_t total, const std::optional<TDigest>& key) const;

  TFile file_;
  TSectionPlace data_, index_;
  std::optional<TDigest> key_;
  // The chunk of an enciphered data section deciphered last: bodies are read in pieces.
  int64_t chunk_number_ = -1;
  std::vector<uint8_t> chunk_;
};

}  // namespace sk
