// A small record, kept in the user's cache folder, of the index sections whose keys were found in
// ascending order by a given collation and case mode, so that opening such an index again need not
// compare every adjacent pair of keys.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

// The 128-bit hash (XXH3-128) of an index section's bytes.
using TIndexDigest = std::array<uint8_t, 16>;
TIndexDigest DigestIndex(std::span<const uint8_t> index);
// The same of a whole file, read with plain system calls; nothing when it cannot be read.
std::optional<TIndexDigest> DigestIndexFile(const std::string& path);

// One verified order: a 128-bit hash of an index's digest, the collator's identity
// (TCollator::Identity) and the case mode.
using TOrderFingerprint = std::array<uint8_t, 16>;
TOrderFingerprint OrderFingerprint(const TIndexDigest& index, std::string_view collator,
                                   bool case_sensitive);

// The memo file: a header, up to kCapacity fingerprints (the oldest dropped first) and a checksum
// of both. It is a cache and nothing more: a file that is absent, unreadable, damaged or from
// another version reads as empty, and a failure to write it is ignored; either way the order is
// simply checked again. Writes go to a temporary file beside it that is renamed into place, so a
// reader sees the old file or the new one; two processes that write at once may lose one of their
// fingerprints, which costs one check.
class TOrderMemo {
 public:
  static constexpr size_t kCapacity = 256;

  // path: the memo file.
  explicit TOrderMemo(std::string path);

  // The memo file of the user: $XDG_CACHE_HOME/stillkeep/verified-orders, or
  // $HOME/.cache/stillkeep/verified-orders; "" when neither variable is set (no memo).
  static std::string DefaultPath();

  const std::string& Path() const { return path_; }

  // Whether the file holds fingerprint. Never raises.
  bool Contains(const TOrderFingerprint& fingerprint) const;
  // Adds fingerprint as the newest one (moving it there when it is held already), creating the
  // folder when needed. Never raises; a failure leaves the memo as it was or without the file.
  void Remember(const TOrderFingerprint& fingerprint) const;

 private:
  std::vector<TOrderFingerprint> Load() const;

  std::string path_;
};

}  // namespace sk
