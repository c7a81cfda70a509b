// Writing, reading and finding session journals.
#include "store/SessionJournal.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "store/KES.h"

namespace sk {

namespace {

constexpr std::string_view kFirstLine = "Stillkeep session 1";

// Paths may hold any byte but NUL: "%" and line ends are written as %XX.
std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '%' || c == '\n' || c == '\r') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[static_cast<uint8_t>(c) >> 4];
      out += kHex[static_cast<uint8_t>(c) & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= text.size()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (error != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

template <class T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string_view ProtectionName(TProtection protection) {
  switch (protection) {
    case TProtection::kNone: return "none";
    case TProtection::kLegacy: return "legacy";
    case TProtection::kStrong: return "strong";
  }
  return "none";
}

}  // namespace

std::string TSessionJournal::Format() const {
  std::ostringstream out;
  out << kFirstLine << '\n'
      << "store " << Escape(store) << '\n'
      << "device " << container.device << '\n'
      << "inode " << container.inode << '\n'
      << "size " << container.size << '\n'
      << "modified " << container.modified.seconds << ' ' << container.modified.nanoseconds << '\n'
      << "protection " << ProtectionName(protection) << '\n'
      << "data " << data_length << '\n'
      << "opened " << opened << '\n'
      << "pinned " << (pinned ? 1 : 0) << '\n';
  return out.str();
}

std::optional<TSessionJournal> TSessionJournal::Parse(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;  // every line ends
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() != 10 || lines[0] != kFirstLine) return std::nullopt;
  auto value = [&](size_t i, std::string_view name) -> std::optional<std::string_view> {
    if (lines[i].size() <= name.size() || lines[i].substr(0, name.size()) != name ||
        lines[i][name.size()] != ' ') {
      return std::nullopt;
    }
    return lines[i].substr(name.size() + 1);
  };
  TSessionJournal journal;
  const auto store = value(1, "store");
  const auto device = value(2, "device"), inode = value(3, "inode"), size = value(4, "size");
  const auto modified = value(5, "modified"), protection = value(6, "protection");
  const auto data = value(7, "data"), opened = value(8, "opened"), pinned = value(9, "pinned");
  if (!store || !device || !inode || !size || !modified || !protection || !data || !opened ||
      !pinned) {
    return std::nullopt;
  }
  const std::optional<std::string> path = Unescape(*store);
  const size_t space = modified->find(' ');
  if (!path || path->empty() || space == std::string_view::npos ||
      !ParseNumber(*device, journal.container.device) ||
      !ParseNumber(*inode, journal.container.inode) ||
      !ParseNumber(*size, journal.container.size) ||
      !ParseNumber(modified->substr(0, space), journal.container.modified.seconds) ||
      !ParseNumber(modified->substr(space + 1), journal.container.modified.nanoseconds) ||
      !ParseNumber(*data, journal.data_length) || !ParseNumber(*opened, journal.opened) ||
      journal.data_length < 0 || (*pinned != "0" && *pinned != "1")) {
    return std::nullopt;
  }
  journal.store = *path;
  journal.pinned = *pinned == "1";
  if (*protection == "none") {
    journal.protection = TProtection::kNone;
  } else if (*protection == "legacy") {
    journal.protection = TProtection::kLegacy;
  } else if (*protection == "strong") {
    journal.protection = TProtection::kStrong;
  } else {
    return std::nullopt;
  }
  return journal;
}

std::string SessionFileName(const std::string& data_name, std::string_view prefix) {
  const std::string name = ExtractFileName(data_name);
  return ExtractFileDir(data_name) + "/" + std::string(prefix) + name.substr(3);
}

void TStaleSession::Discard() const {
  for (const std::string* name : {&index_name, &log_name, &data_name, &pin_name, &journal_name}) {
    DeleteFile(*name);
  }
}

std::vector<TStaleSession> FindStaleSessions() {
  std::vector<TStaleSession> sessions;
  for (const std::string& journal_name : TempFilesNamed(TempDirectory(), kJournalPrefix)) {
    TStaleSession session;
    session.journal_name = journal_name;
    session.data_name = SessionFileName(journal_name, "KES");
    session.index_name = SessionFileName(journal_name, "IXS");
    session.log_name = SessionFileName(journal_name, kIndexLogPrefix);
    session.pin_name = SessionFileName(journal_name, kPinPrefix);
    if (!FileExists(session.data_name) || IsLockedByOther(session.data_name)) continue;
    const std::vector<uint8_t> bytes = ReadFileBytes(journal_name);
    std::optional<TSessionJournal> journal =
        TSessionJournal::Parse(std::string(bytes.begin(), bytes.end()));
    if (!journal) continue;
    session.journal = std::move(*journal);
    sessions.push_back(std::move(session));
  }
  std::stable_sort(sessions.begin(), sessions.end(), [](const auto& a, const auto& b) {
    return a.journal.opened < b.journal.opened;
  });
  return sessions;
}

}  // namespace sk
