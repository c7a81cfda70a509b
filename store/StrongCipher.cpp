// libsodium behind the strong protection: locked key memory, Argon2id, XChaCha20-Poly1305 and the
// header's BLAKE2b check digest.
#include "store/StrongCipher.h"

#include <sodium.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace sk {

namespace {

// Header fields (doc/store-format.md): signature, version, algorithm, flags, passes, memory,
// salt, wrap nonce, wrapped key, check digest.
constexpr size_t kVersionAt = 4, kAlgorithmAt = 8, kFlagsAt = 12, kPassesAt = 16, kMemoryAt = 24,
                 kSaltAt = 32, kNonceAt = 48, kWrappedAt = 72, kCheckAt = 120;
constexpr uint32_t kArgon2id = 2;
// A header may ask for no more than this: a damaged or hostile one must not make an open take
// minutes or gigabytes before the password is even checked.
constexpr uint64_t kMaxPasses = 16;
constexpr uint64_t kMaxMemory = uint64_t{1} << 30;
constexpr uint8_t kIndexBinding[] = {'S', 'K', 'V', ' ', 'i', 'n', 'd', 'e', 'x'};
constexpr uint8_t kIndexLogBinding[] = {'S', 'K', 'V', ' ', 'i', 'n', 'd',
                                        'e', 'x', ' ', 'l', 'o', 'g'};

void InitializeSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("the cryptography library could not start");
}

void PutLE(uint8_t* at, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLE(const uint8_t* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
  return value;
}

// The key-encryption key for password and salt; raises when the system lacks the memory.
TSecretKey DeriveKey(std::string_view password, const std::array<uint8_t, 16>& salt,
                     TKeyCost cost) {
  TSecretKey key;
  if (crypto_pwhash(key.Bytes().data(), TSecretKey::kSize, password.data(), password.size(),
                    salt.data(), cost.passes, static_cast<size_t>(cost.memory),
                    crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::bad_alloc();
  }
  return key;
}

}  // namespace

void TSecretKey::TFree::operator()(uint8_t* bytes) const {
  sodium_free(bytes);
}

TSecretKey::TSecretKey() {
  InitializeSodium();
  // sodium_malloc locks the pages and sodium_free wipes them.
  bytes_.reset(static_cast<uint8_t*>(sodium_malloc(kSize)));
  if (!bytes_) throw std::bad_alloc();
  sodium_memzero(bytes_.get(), kSize);
}

TSecretKey TSecretKey::Random() {
  TSecretKey key;
  crypto_aead_xchacha20poly1305_ietf_keygen(key.Bytes().data());
  return key;
}

TKeyCost ModerateKeyCost() {
  return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

TKeyCost MinimumKeyCost() {
  return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

TStrongHeader TStrongHeader::Seal(std::string_view password, const TSecretKey& data_key,
                                  TKeyCost cost) {
  InitializeSodium();
  TStrongHeader header;
  header.cost = cost;
  randombytes_buf(header.salt.data(), header.salt.size());
  randombytes_buf(header.wrap_nonce.data(), header.wrap_nonce.size());
  const TSecretKey wrapping = DeriveKey(password, header.salt, cost);
  // The wrapped key is bound to every header field before it, so none can be changed unnoticed.
  const std::array<uint8_t, kSize> prefix = header.Serialize();
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      header.wrapped_key.data(), nullptr, data_key.Bytes().data(), TSecretKey::kSize, prefix.data(),
      kWrappedAt, nullptr, header.wrap_nonce.data(), wrapping.Bytes().data());
  return header;
}

std::array<uint8_t, TStrongHeader::kSize> TStrongHeader::Serialize() const {
  std::array<uint8_t, kSize> bytes{};
  std::memcpy(bytes.data(), kStrongSignature.data(), kStrongSignature.size());
  PutLE(&bytes[kVersionAt], kVersion, 4);
  PutLE(&bytes[kAlgorithmAt], kArgon2id, 4);
  PutLE(&bytes[kFlagsAt], 0, 4);
  PutLE(&bytes[kPassesAt], cost.passes, 8);
  PutLE(&bytes[kMemoryAt], cost.memory, 8);
  std::memcpy(&bytes[kSaltAt], salt.data(), salt.size());
  std::memcpy(&bytes[kNonceAt], wrap_nonce.data(), wrap_nonce.size());
  std::memcpy(&bytes[kWrappedAt], wrapped_key.data(), wrapped_key.size());
  crypto_generichash(&bytes[kCheckAt], kSize - kCheckAt, bytes.data(), kCheckAt, nullptr, 0);
  return bytes;
}

std::optional<TStrongHeader> TStrongHeader::Parse(std::span<const uint8_t, kSize> bytes) {
  InitializeSodium();
  std::array<uint8_t, kSize - kCheckAt> check{};
  crypto_generichash(check.data(), check.size(), bytes.data(), kCheckAt, nullptr, 0);
  if (std::memcmp(bytes.data(), kStrongSignature.data(), kStrongSignature.size()) != 0 ||
      sodium_memcmp(check.data(), &bytes[kCheckAt], check.size()) != 0 ||
      GetLE(&bytes[kVersionAt], 4) != kVersion || GetLE(&bytes[kAlgorithmAt], 4) != kArgon2id ||
      GetLE(&bytes[kFlagsAt], 4) != 0) {
    return std::nullopt;
  }
  TStrongHeader header;
  header.cost = {GetLE(&bytes[kPassesAt], 8), GetLE(&bytes[kMemoryAt], 8)};
  if (header.cost.passes < crypto_pwhash_OPSLIMIT_MIN || header.cost.passes > kMaxPasses ||
      header.cost.memory < crypto_pwhash_MEMLIMIT_MIN || header.cost.memory > kMaxMemory) {
    return std::nullopt;
  }
  std::memcpy(header.salt.data(), &bytes[kSaltAt], header.salt.size());
  std::memcpy(header.wrap_nonce.data(), &bytes[kNonceAt], header.wrap_nonce.size());
  std::memcpy(header.wrapped_key.data(), &bytes[kWrappedAt], header.wrapped_key.size());
  return header;
}

std::optional<TSecretKey> TStrongHeader::Unwrap(std::string_view password) const {
  const TSecretKey wrapping = DeriveKey(password, salt, cost);
  const std::array<uint8_t, kSize> prefix = Serialize();
  TSecretKey data_key;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          data_key.Bytes().data(), nullptr, nullptr, wrapped_key.data(), wrapped_key.size(),
          prefix.data(), kWrappedAt, wrap_nonce.data(), wrapping.Bytes().data()) != 0) {
    return std::nullopt;
  }
  return data_key;
}

std::vector<uint8_t> SealBytes(std::span<const uint8_t> plain, std::span<const uint8_t> associated,
                               const TSecretKey& key) {
  InitializeSodium();
  std::vector<uint8_t> sealed(plain.size() + kSealOverhead);
  uint8_t* nonce = sealed.data();
  randombytes_buf(nonce, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
  crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES,
                                             nullptr, plain.data(), plain.size(), associated.data(),
                                             associated.size(), nullptr, nonce, key.Bytes().data());
  return sealed;
}

std::optional<std::vector<uint8_t>> OpenSealed(std::span<const uint8_t> sealed,
                                               std::span<const uint8_t> associated,
                                               const TSecretKey& key) {
  if (sealed.size() < kSealOverhead) return std::nullopt;
  std::vector<uint8_t> plain(sealed.size() - kSealOverhead);
  const uint8_t* nonce = sealed.data();
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          plain.data(), nullptr, nullptr, nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES,
          sealed.size() - crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, associated.data(),
          associated.size(), nonce, key.Bytes().data()) != 0) {
    return std::nullopt;
  }
  return plain;
}

std::vector<uint8_t> BodyBinding(std::string_view key, bool system) {
  std::vector<uint8_t> binding;
  binding.reserve(key.size() + 1);
  binding.push_back(system ? 1 : 0);
  binding.insert(binding.end(), key.begin(), key.end());
  return binding;
}

std::span<const uint8_t> IndexBinding() {
  return kIndexBinding;
}

std::span<const uint8_t> IndexLogBinding() {
  return kIndexLogBinding;
}

}  // namespace sk
