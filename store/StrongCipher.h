// Strong protection of a store: a password-derived key (Argon2id) wraps a random data key, and
// every item body and the index are sealed with XChaCha20-Poly1305 under that data key. The byte
// layout of a strongly protected container is written out in doc/store-format.md.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sk {

// 32 bytes of key material in locked memory that is wiped when it is freed. Move-only.
class TSecretKey {
 public:
  static constexpr size_t kSize = 32;
  // A fresh random key.
  static TSecretKey Random();
  // A key of all zero bytes, to be filled through Bytes().
  TSecretKey();
  std::span<uint8_t, kSize> Bytes() { return std::span<uint8_t, kSize>(bytes_.get(), kSize); }
  std::span<const uint8_t, kSize> Bytes() const {
    return std::span<const uint8_t, kSize>(bytes_.get(), kSize);
  }

 private:
  struct TFree {
    void operator()(uint8_t* bytes) const;
  };
  std::unique_ptr<uint8_t, TFree> bytes_;
};

// How costly deriving a key from a password is: Argon2id's passes and memory in bytes.
struct TKeyCost {
  uint64_t passes = 0;
  uint64_t memory = 0;
  friend bool operator==(const TKeyCost&, const TKeyCost&) = default;
};
// libsodium's "moderate" limits: the cost every new strongly protected store is given.
TKeyCost ModerateKeyCost();
// libsodium's smallest limits, for tests that open many stores.
TKeyCost MinimumKeyCost();

// The signature that opens a strongly protected container; it differs from the legacy signature
// in its first bytes, so a reader of the legacy kind refuses the container as not a store.
inline constexpr std::array<uint8_t, 4> kStrongSignature = {'S', 'K', 'V', 0};

// The fixed-size header of a strongly protected container (doc/store-format.md).
struct TStrongHeader {
  static constexpr size_t kSize = 152;
  static constexpr uint32_t kVersion = 1;
  TKeyCost cost;
  std::array<uint8_t, 16> salt{};
  std::array<uint8_t, 24> wrap_nonce{};
  std::array<uint8_t, TSecretKey::kSize + 16> wrapped_key{};

  // A header for password: a new salt, the data key wrapped under the key derived with cost.
  static TStrongHeader Seal(std::string_view password, const TSecretKey& data_key, TKeyCost cost);
  // The header's bytes, its check digest last.
  std::array<uint8_t, kSize> Serialize() const;
  // Reads a header; nullopt when its signature, version, algorithm, check digest or key cost is
  // not one this reader writes (a damaged or foreign header).
  static std::optional<TStrongHeader> Parse(std::span<const uint8_t, kSize> bytes);
  // The data key, or nullopt when password does not unwrap it.
  std::optional<TSecretKey> Unwrap(std::string_view password) const;
};

// The bytes a sealed message adds to its plain text: a 24-byte nonce before it, a 16-byte tag
// after it.
inline constexpr size_t kSealOverhead = 24 + 16;

// Seals plain under key with a fresh random nonce, binding it to associated (which is not
// stored): nonce, cipher text and tag.
std::vector<uint8_t> SealBytes(std::span<const uint8_t> plain, std::span<const uint8_t> associated,
                               const TSecretKey& key);
// Opens what SealBytes made; nullopt when it is too short, damaged, or sealed with another key or
// other associated data.
std::optional<std::vector<uint8_t>> OpenSealed(std::span<const uint8_t> sealed,
                                               std::span<const uint8_t> associated,
                                               const TSecretKey& key);

// The associated data that binds an item body to its entry: whether it is a system entry, and its
// key.
std::vector<uint8_t> BodyBinding(std::string_view key, bool system);
// The associated data of the sealed index.
std::span<const uint8_t> IndexBinding();
// The associated data of a sealed record of the index log.
std::span<const uint8_t> IndexLogBinding();

}  // namespace sk
