// Password protection of a store container: the key and check digests derived from a password
// and the keystream cipher applied to every chunk of an enciphered section.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace sk {

// A SHA-1 digest (FIPS 180-1).
using TDigest = std::array<uint8_t, 20>;

// Returns the key digest KD of a password: the SHA-1 digest of exactly the password's bytes
// (Windows-1252, no terminator). The empty password yields the digest of no bytes. Throws
// std::runtime_error only when the crypto library cannot compute a digest at all.
TDigest KeyDigest(std::string_view password);

// Returns the check digest that a protected container stores: the SHA-1 digest of the bytes of
// key_digest before its first zero byte, or of all 20 bytes when it has none. So every password
// whose key digest starts with a zero byte shares the check digest of the empty byte string.
TDigest CheckDigest(const TDigest& key_digest);

// Returns the keystream seed: the XOR of key_digest read as five 32-bit little-endian words.
uint32_t KeystreamSeed(const TDigest& key_digest);

// Enciphers or deciphers one chunk in place; the operation is its own inverse. The keystream is
// a linear congruential sequence (x * 1664525 + 1013904223 mod 2^32) that restarts from the seed
// on every call: each whole 4-byte group, read little-endian, is XORed with the next state, and
// each of the up to 3 trailing bytes with the low 8 bits of the next state.
void Cipher(std::span<uint8_t> chunk, const TDigest& key_digest);

}  // namespace sk
