// Key and check digests through OpenSSL's EVP interface, and the chunk keystream cipher.
#include "store/KESCipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

namespace sk {
namespace {

constexpr char kDigestFailed[] = "SHA-1 digest could not be computed";

constexpr uint32_t kMultiplier = 1664525u;
constexpr uint32_t kIncrement = 1013904223u;

TDigest Sha1(const void* data, size_t size) {
  TDigest digest{};
  unsigned int digest_size = 0;
  if (EVP_Digest(data, size, digest.data(), &digest_size, EVP_sha1(), nullptr) != 1 ||
      digest_size != digest.size()) {
    throw std::runtime_error(kDigestFailed);
  }
  return digest;
}

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void StoreLE32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

TDigest KeyDigest(std::string_view password) { return Sha1(password.data(), password.size()); }

TDigest CheckDigest(const TDigest& key_digest) {
  const auto zero = std::find(key_digest.begin(), key_digest.end(), uint8_t{0});
  return Sha1(key_digest.data(), static_cast<size_t>(zero - key_digest.begin()));
}

uint32_t KeystreamSeed(const TDigest& key_digest) {
  uint32_t seed = 0;
  for (size_t i = 0; i < key_digest.size(); i += 4) seed ^= LoadLE32(&key_digest[i]);
  return seed;
}

void Cipher(std::span<uint8_t> chunk, const TDigest& key_digest) {
  // Unsigned arithmetic wraps, which is exactly the mod 2^32 of the keystream.
  uint32_t state = KeystreamSeed(key_digest);
  const size_t whole = chunk.size() - chunk.size() % 4;
  for (size_t i = 0; i < whole; i += 4) {
    state = state * kMultiplier + kIncrement;
    StoreLE32(&chunk[i], LoadLE32(&chunk[i]) ^ state);
  }
  for (size_t i = whole; i < chunk.size(); ++i) {
    state = state * kMultiplier + kIncrement;
    chunk[i] ^= static_cast<uint8_t>(state);
  }
}

}  // namespace sk
