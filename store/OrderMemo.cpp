// The memo of verified index orders. It goes straight to the system calls rather than through
// TFile: it is a cache beside the store, not part of it, so the file layer's hooks (which model
// the store's own operations, their faults and their durability) never see it.
#include "store/OrderMemo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sk {

namespace {

// "SKOM", the format's version and the number of fingerprints, as four bytes each; then the
// fingerprints; then XXH3-64 of everything before it, as eight little-endian bytes.
constexpr uint8_t kMagic[4] = {'S', 'K', 'O', 'M'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeader = 12;
constexpr size_t kChecksum = 8;

void PutLE32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE32(const uint8_t* in) {
  return uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
}

void PutLE64(uint8_t* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLE64(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | in[i];
  return value;
}

// Reads the whole of a small file; false when it cannot be read or is larger than limit.
bool ReadSmallFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok =
      ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= limit;
  if (ok) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
  }
  ::close(fd);
  return ok;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Creates path's folder and those above it as needed (private to the user); false on failure.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

namespace {

std::array<uint8_t, 16> Canonical(XXH128_hash_t hash) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
  std::array<uint8_t, 16> bytes;
  static_assert(sizeof canonical.digest == bytes.size());
  std::memcpy(bytes.data(), canonical.digest, bytes.size());
  return bytes;
}

}  // namespace

TIndexDigest DigestIndex(std::span<const uint8_t> index) {
  return Canonical(XXH3_128bits(index.data(), index.size()));
}

std::optional<TIndexDigest> DigestIndexFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  XXH3_state_t* state = XXH3_createState();
  bool ok = state != nullptr;
  if (ok) XXH3_128bits_reset(state);
  std::vector<uint8_t> buffer(1 << 20);
  while (ok) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    XXH3_128bits_update(state, buffer.data(), static_cast<size_t>(n));
  }
  ::close(fd);
  std::optional<TIndexDigest> digest;
  if (ok) digest = Canonical(XXH3_128bits_digest(state));
  XXH3_freeState(state);
  return digest;
}

TOrderFingerprint OrderFingerprint(const TIndexDigest& index, std::string_view collator,
                                   bool case_sensitive) {
  // The collator's identity is the only part whose length varies, and it comes last but one.
  std::string bytes(index.begin(), index.end());
  bytes += collator;
  bytes += case_sensitive ? '\1' : '\0';
  return Canonical(XXH3_128bits(bytes.data(), bytes.size()));
}

TOrderMemo::TOrderMemo(std::string path) : path_(std::move(path)) {}

std::string TOrderMemo::DefaultPath() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  // The base directory specification ignores a relative path.
  if (cache && cache[0] == '/') return std::string(cache) + "/stillkeep/verified-orders";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/stillkeep/verified-orders";
  return {};
}

std::vector<TOrderFingerprint> TOrderMemo::Load() const {
  std::vector<TOrderFingerprint> fingerprints;
  std::vector<uint8_t> bytes;
  constexpr size_t kLimit = kHeader + kCapacity * sizeof(TOrderFingerprint) + kChecksum;
  if (path_.empty() || !ReadSmallFile(path_, kLimit, bytes)) return fingerprints;
  if (bytes.size() < kHeader + kChecksum || std::memcmp(bytes.data(), kMagic, 4) != 0 ||
      GetLE32(bytes.data() + 4) != kVersion) {
    return fingerprints;
  }
  const size_t count = GetLE32(bytes.data() + 8);
  if (count > kCapacity ||
      bytes.size() != kHeader + count * sizeof(TOrderFingerprint) + kChecksum) {
    return fingerprints;
  }
  const size_t body = bytes.size() - kChecksum;
  if (GetLE64(bytes.data() + body) != XXH3_64bits(bytes.data(), body)) return fingerprints;
  fingerprints.resize(count);
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(fingerprints[i].data(), bytes.data() + kHeader + i * sizeof(TOrderFingerprint),
                sizeof(TOrderFingerprint));
  }
  return fingerprints;
}

bool TOrderMemo::Contains(const TOrderFingerprint& fingerprint) const {
  try {
    const std::vector<TOrderFingerprint> fingerprints = Load();
    return std::find(fingerprints.begin(), fingerprints.end(), fingerprint) != fingerprints.end();
  } catch (const std::exception&) {
    return false;
  }
}

void TOrderMemo::Remember(const TOrderFingerprint& fingerprint) const {
  if (path_.empty()) return;
  try {
    std::vector<TOrderFingerprint> fingerprints = Load();
    std::erase(fingerprints, fingerprint);
    if (fingerprints.size() >= kCapacity) {
      fingerprints.erase(
          fingerprints.begin(),
          fingerprints.begin() + static_cast<std::ptrdiff_t>(fingerprints.size() - kCapacity + 1));
    }
    fingerprints.push_back(fingerprint);

    std::vector<uint8_t> bytes(kHeader + fingerprints.size() * sizeof(TOrderFingerprint));
    std::memcpy(bytes.data(), kMagic, 4);
    PutLE32(bytes.data() + 4, kVersion);
    PutLE32(bytes.data() + 8, static_cast<uint32_t>(fingerprints.size()));
    for (size_t i = 0; i < fingerprints.size(); ++i) {
      std::memcpy(bytes.data() + kHeader + i * sizeof(TOrderFingerprint), fingerprints[i].data(),
                  sizeof(TOrderFingerprint));
    }
    const size_t body = bytes.size();
    bytes.resize(body + kChecksum);
    PutLE64(bytes.data() + body, XXH3_64bits(bytes.data(), body));

    if (!MakeFolders(path_)) return;
    // A name of this process's own beside the memo; the rename replaces the memo in one step. No
    // sync: a memo lost or torn by a power failure fails its checksum and reads as empty.
    const std::string temp = path_ + "." + std::to_string(::getpid()) + ".tmp";
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    const bool written = WriteAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path_.c_str()) != 0) {
      ::unlink(temp.c_str());
    }
  } catch (const std::exception&) {
    // Out of memory: the memo stays as it was.
  }
}

}  // namespace sk
