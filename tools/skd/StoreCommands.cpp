// skd commands on stores: create, list, info, put, get, delete, passwd, pack and kill.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "platform/Files.h"
#include "platform/Win1252.h"
#include "tools/skd/Commands.h"
#include "tools/skd/StoreSession.h"
#include "vault/KeyText.h"
#include "vault/StaleSession.h"

namespace sk::skd {

namespace {

using Access = TStoreSession::Access;

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ECommandError("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteStdout(std::span<const uint8_t> bytes) {
  // An empty item has no buffer at all: fwrite must not see its null pointer.
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (!written || std::fflush(stdout) != 0) {
    throw ECommandError("cannot write to standard output");
  }
}

// Finds key (typed in UTF-8) in the store or fails naming it.
void FindOrFail(TKES& store, const std::string& utf8_key) {
  if (!store.FindKey(ExactKeyFromText(utf8_key))) {
    throw ECommandError("there is no item '" + utf8_key + "' in " + store.FileName());
  }
}

void AddCreate(CLI::App& app) {
  auto* command = app.add_subcommand("create", "Create an empty store (an existing one is kept)");
  auto path = std::make_shared<std::string>();
  command->add_option("STORE", *path, "Store file (\".kes\" is added to a name without extension)")
      ->required();
  command->callback([path] {
    const std::string file = KESFileName(*path);
    switch (FileKind(file)) {
      case TFileKind::kMissing: break;
      case TFileKind::kFolder:
        throw ECommandError(FormatMessage(kes_msg::kFolderNotStore, ExpandFileName(file)));
      case TFileKind::kOther:
        throw ECommandError(FormatMessage(kes_msg::kNotRegularFile, ExpandFileName(file)));
      case TFileKind::kRegular: {
        // Keep an existing store untouched; anything else is not ours to overwrite. Only the
        // signature is read, and a FIFO put in its place meanwhile is refused, never waited on.
        static constexpr uint8_t kSignature[4] = {'K', 'E', 'S', 0};
        uint8_t head[4] = {};
        size_t got = 0;
        try {
          TFile in = TFile::Open(file, FileMode::kReadNoWait);
          if (!in.IsRegular()) {
            throw ECommandError(FormatMessage(kes_msg::kNotRegularFile, ExpandFileName(file)));
          }
          got = in.Read(head);
        } catch (const EOSError& error) {
          throw ECommandError("cannot read " + file + ": " + std::strerror(error.Code()));
        }
        if (got < 4 || !std::equal(kSignature, kSignature + 4, head)) {
          throw ECommandError(FormatMessage(kes_msg::kInvalidFile, ExpandFileName(file)));
        }
        return;
      }
    }
    TStoreSession session(file, Access::kReadWrite, {});
    session.Close();
  });
}

void AddList(CLI::App& app) {
  struct Options {
    std::string path, filter;
    bool grep = false, null_separated = false;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("list", "Print the item keys in the store's order");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("--filter", options->filter, "Only keys the filter accepts");
  command->add_flag("--grep", options->grep, "Read --filter as a pattern instead of plain text");
  command->add_flag("-0,--null", options->null_separated, "Separate keys by NUL bytes");
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, Access::kReadOnly, options->password);
    TKES& store = session.Store();
    if (!options->filter.empty()) {
      store.SetUseGrepMatch(options->grep);
      store.SetFilter(*Utf8ToWin1252(options->filter, '?'));
    }
    TStringList keys;
    store.GetKeys(keys);
    std::string out;
    for (const std::string& key : keys.Items()) {
      out += Win1252ToUtf8(key);
      out += options->null_separated ? '\0' : '\n';
    }
    WriteStdout(std::span(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
    session.Close();
  });
}

void AddInfo(CLI::App& app) {
  struct Options {
    std::string path;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("info", "Print facts about a store as name: value lines");
  command->add_option("STORE", options->path, "Store file")->required();
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, Access::kReadOnly, options->password);
    TKES& store = session.Store();
    static constexpr const char* kProtection[] = {"none", "legacy", "strong"};
    std::printf(
        "file: %s\ncount: %d\nprotected: %s\nprotection: %s\ncase-sensitive: %s\n"
        "data-bytes: %lld\nindex-bytes: %lld\n",
        store.FileName().c_str(), store.Count(), store.WasProtected() ? "yes" : "no",
        kProtection[static_cast<int>(store.Protection())], store.CaseSensitive() ? "yes" : "no",
        static_cast<long long>(store.DataSize()), static_cast<long long>(store.IndexSize()));
    session.Close();
  });
}

void AddPut(CLI::App& app) {
  struct Options {
    std::string path, key, file;
    bool compress = false;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("put", "Store a file's bytes under a key");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("KEY", options->key, "Key (UTF-8)")->required();
  command->add_option("FILE", options->file, "File to store")->required();
  command->add_flag("--compress", options->compress, "Store the item compressed");
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TMemoryStream stream(ReadWholeFile(options->file));
    TStoreSession session(options->path, Access::kReadWrite, options->password);
    TKES& store = session.Store();
    store.SetCompression(options->compress);
    store.AddItem(stream, KeyFromText(options->key));
    store.Flush();
    session.Close();
  });
}

void AddGet(CLI::App& app) {
  struct Options {
    std::string path, key, out;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("get", "Write an item's bytes to a file or standard output");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("KEY", options->key, "Key (UTF-8)")->required();
  command->add_option("-o,--output", options->out, "Output file (default: standard output)");
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, Access::kReadOnly, options->password);
    TKES& store = session.Store();
    FindOrFail(store, options->key);
    TMemoryStream item;
    store.GetItem(item);
    if (options->out.empty()) {
      WriteStdout(item.Bytes());
    } else {
      WriteFileAtomically(options->out, item.Bytes());
    }
    session.Close();
  });
}

void AddDelete(CLI::App& app) {
  struct Options {
    std::string path;
    std::vector<std::string> keys;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("delete", "Delete items; stops at the first missing key");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("KEY", options->keys, "Keys (UTF-8)")->required();
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, Access::kReadWrite, options->password);
    TKES& store = session.Store();
    for (const std::string& key : options->keys) {
      FindOrFail(store, key);  // the deletions before it are kept and saved
      store.Delete();
    }
    session.Close();
  });
}

void AddPasswd(CLI::App& app) {
  struct Options {
    std::string path, new_password_file;
    bool strong = false, legacy = false;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "passwd", "Set the store's password (an empty line removes the protection)");
  command->add_option("STORE", options->path, "Store file")->required();
  command
      ->add_option("--new-password-file", options->new_password_file,
                   "File whose first line is the new password")
      ->required();
  auto* strong = command->add_flag(
      "--strong", options->strong,
      "Protect strongly: nobody without the password reads the pictures, and older versions "
      "cannot open the store (the default for a store that had no password)");
  command
      ->add_flag("--legacy", options->legacy,
                 "Protect with the legacy cipher, only for exchanging stores with older versions "
                 "(a store that had a password keeps its kind unless told)")
      ->excludes(strong);
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    const std::string new_password = ReadPasswordFile(options->new_password_file);
    TStoreSession session(options->path, Access::kReadWrite, options->password);
    TKES& store = session.Store();
    if (store.ReadOnly()) throw ECommandError(FormatMessage(kes_msg::kReadOnly, store.FileName()));
    store.Password = new_password;
    if (options->strong || options->legacy) {
      store.SetStrongProtection(options->strong);
    } else if (store.Protection() == TProtection::kNone) {
      store.SetStrongProtection(true);
    }
    session.Close();
  });
}

void AddPack(CLI::App& app) {
  struct Options {
    std::string path;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("pack", "Rewrite the store without deleted items' bytes");
  command->add_option("STORE", options->path, "Store file")->required();
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, Access::kReadWrite, options->password);
    session.Interruptible([&session] { session.Store().Pack(); });
    session.Store().Flush();
    session.Close();
  });
}

void AddKill(CLI::App& app) {
  struct Options {
    std::string path;
    bool yes = false;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("kill", "Delete the store file");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_flag("--yes", options->yes, "Confirm the deletion");
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    if (!options->yes) {
      throw ECommandError("not deleting " + KESFileName(options->path) + " without --yes");
    }
    TStoreSession session(options->path, Access::kReadWrite, options->password);
    TKES& store = session.Store();
    store.BeforeKill = [](TKES&, bool& ok) { ok = true; };
    store.Kill();
  });
}

}  // namespace

void AddRecover(CLI::App& app) {
  struct Options {
    bool list = false, discard_all = false;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "recover", "List or discard the work of sessions whose store no longer exists");
  auto* list = command->add_flag("--list", options->list,
                                 "Print each such session: its store and when it opened it");
  command->add_flag("--discard-all", options->discard_all, "Delete every such session")
      ->excludes(list);
  command->callback([options] {
    if (!options->list && !options->discard_all) {
      throw ECommandError("recover needs --list or --discard-all");
    }
    for (const TStaleSession& session : OrphanedSessions()) {
      if (options->list) {
        std::printf("%s\t%s\n", session.journal.store.c_str(),
                    SessionTimeText(session.journal.opened).c_str());
      } else {
        session.Discard();
      }
    }
  });
}

void AddStoreCommands(CLI::App& app) {
  AddCreate(app);
  AddList(app);
  AddInfo(app);
  AddPut(app);
  AddGet(app);
  AddDelete(app);
  AddPasswd(app);
  AddPack(app);
  AddKill(app);
  AddRecover(app);
}

}  // namespace sk::skd
