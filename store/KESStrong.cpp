// TKES for strongly protected containers: opening one (the password unwraps the data key, the
// index is opened in memory and the sealed bodies become the working data file as they are),
// writing one, and changing a store's kind at close, which reseals or opens every body.
#include <cerrno>
#include <cstring>
#include <limits>

#include "store/BFStream.h"
#include "store/IndexBytes.h"
#include "store/KES.h"
#include "store/ScratchFile.h"

namespace sk {

namespace {

constexpr int64_t kMaxSection = std::numeric_limits<int32_t>::max();

void WriteLE64(TFile& file, int64_t value) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  file.Write(bytes);
}

}  // namespace

void TKES::UnpackStrong(TFile& container, int64_t file_size) {
  std::array<uint8_t, TStrongHeader::kSize> bytes{};
  std::memcpy(bytes.data(), kStrongSignature.data(), kStrongSignature.size());
  auto read_exact = [&](std::span<uint8_t> into) {
    if (container.Read(into) != into.size()) RaiseInvalidFile();
  };
  auto read_length = [&]() -> int64_t {
    uint8_t word[8];
    read_exact(word);
    uint64_t length = 0;
    for (int i = 0; i < 8; ++i) length |= uint64_t{word[i]} << (8 * i);
    if (length > static_cast<uint64_t>(std::min(kMaxSection, file_size - container.Position()))) {
      RaiseInvalidFile();
    }
    return static_cast<int64_t>(length);
  };
  std::vector<uint8_t> sealed_index;
  int64_t data_at = 0, data_length = 0, index_at = 0;
  std::optional<TStrongHeader> header;
  try {
    read_exact(std::span(bytes).subspan(kStrongSignature.size()));
    header = TStrongHeader::Parse(bytes);
    if (!header) RaiseInvalidFile();
    data_length = read_length();
    data_at = container.Position();
    container.Seek(data_at + data_length);
    const int64_t index_length = read_length();
    index_at = container.Position();
    // Nothing may follow the index: every byte of the container is accounted for.
    if (index_at + index_length != file_size) RaiseInvalidFile();
    sealed_index.resize(static_cast<size_t>(index_length));
    read_exact(sealed_index);
  } catch (const EOSError& error) {
    ReportOsError(error, file_name_);
  }

  if (Password.empty() && OnDemandPassword) {
    TPassword answer;
    OnDemandPassword(*this, answer);
    Password = answer.substr(0, 255);
  }
  std::optional<TSecretKey> data_key;
  try {
    data_key = header->Unwrap(Password);
  } catch (const std::bad_alloc&) {
    RaiseWithFileName(kes_msg::kMemoryFull, kIndexError);
  }
  if (!data_key) throw EKESInvalidPW(std::string(kes_msg::kInvalidPassword));
  std::optional<std::vector<uint8_t>> index = OpenSealed(sealed_index, IndexBinding(), *data_key);
  if (!index) RaiseInvalidFile();

  // Only now, with everything checked, do working files come into being; the sealed bodies are
  // read where they are, and nothing plain is ever written.
  opened_ = TOpenedContainer(std::move(container), {data_at, data_length},
                             {index_at, static_cast<int64_t>(sealed_index.size())}, std::nullopt);
  MakeWorkingFiles(data_length);
  opened_password_ = Password;
  was_protected_ = true;
  strong_protection_ = true;
  strong_ = std::make_unique<TStrongState>(TStrongState{std::move(*data_key), *header, Password});
  opened_index_ = std::move(*index);
}

int TKES::WriteStrongContainer(const std::string& target, TOpenedContainer& opened,
                               const std::string& data_name, const std::string& index_name,
                               const TStrongHeader& header) {
  return WriteFileAtomically(
      target,
      [&](TFile& out) {
        out.Write(header.Serialize());
        TFile data = TFile::Open(data_name, FileMode::kRead);
        const int64_t data_length = data.Size();
        TFile index = TFile::Open(index_name, FileMode::kRead);
        const int64_t index_length = index.Size();
        if (std::max(data_length, index_length) > kMaxSection) {
          throw EOSError(EFBIG, "write", target);
        }
        WriteLE64(out, data_length);
        opened.WriteDataSection(out, data, data_length, std::nullopt);
        WriteLE64(out, index_length);
        out.CopyFrom(index, index_length);
      },
      kContainerMode, kContainerTempPrefix);
}

int TKES::WriteConvertedContainer(const std::string& target, bool strong) {
  // Every body is opened (from a strong store) or sealed (into one) into a scratch data file, and
  // the index written for it; the lists point there only until the container is written.
  std::optional<TSecretKey> new_key;
  if (strong) new_key = TSecretKey::Random();
  TScratchFile data("KES");
  TScratchFile index("DBT");

  struct TPlace {
    int32_t offset, size;
  };
  std::vector<TPlace> places;
  for (TIndexList* list : {&system_, &items_}) {
    for (int i = 0; i < list->Count(); ++i)
      places.push_back({list->Value(i).offset, list->Value(i).size});
  }
  auto restore_places = [&] {
    size_t n = 0;
    for (TIndexList* list : {&system_, &items_}) {
      for (int i = 0; i < list->Count(); ++i, ++n) {
        list->Value(i).offset = places[n].offset;
        list->Value(i).size = places[n].size;
      }
    }
  };

  try {
    // The close has let the working data file go already.
    TFile working = TFile::Open(data_name_, FileMode::kRead);
    ProgressStart(Count(), TProgressOrigin::poClose);
    for (TIndexList* list : {&system_, &items_}) {
      const bool system = list == &system_;
      for (int i = 0; i < list->Count(); ++i) {
        if (!system) ProgressTick(i);
        TIndex& entry = list->Value(i);
        std::vector<uint8_t> body = StoredBody(working, entry, list->Key(i), system);
        if (strong) body = SealBytes(body, BodyBinding(list->Key(i), system), *new_key);
        const int64_t offset = data.File().Size();
        if (offset + static_cast<int64_t>(body.size()) > kMaxSection) {
          throw EOSError(EFBIG, "write", target);
        }
        data.File().Seek(offset);
        data.File().Write(body);
        entry.offset = static_cast<int32_t>(offset);
        entry.size = static_cast<int32_t>(body.size());
      }
    }
    TIndexBytesWriter records;
    WriteIndexRecords(records, TProgressOrigin::poClose);
    index.File().Write(strong ? SealBytes(records.Bytes(), IndexBinding(), *new_key)
                              : records.Bytes());
    TOpenedContainer none;  // every body is in the scratch data file
    const int unsynced =
        strong ? WriteStrongContainer(target, none, data.File().Path(), index.File().Path(),
                                      TStrongHeader::Seal(Password, *new_key, KeyCost))
               : WriteLegacyContainer(target, none, data.File().Path(), index.File().Path());
    restore_places();
    return unsynced;
  } catch (...) {
    restore_places();
    throw;
  }
}

}  // namespace sk
