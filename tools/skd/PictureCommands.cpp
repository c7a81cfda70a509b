// skd commands that move pictures between files and a store: add and export.
#include <cstdio>
#include <memory>

#include "imaging/ImageIO.h"
#include "imaging/InvalidGraphic.h"
#include "platform/Files.h"
#include "platform/Win1252.h"
#include "store/KESNames.h"
#include "tools/skd/Commands.h"
#include "tools/skd/StoreSession.h"

namespace sk::skd {

namespace {

// Pictures are stored at the preference quality, but never above 90.
constexpr int kMaxStoredQuality = 90;

void AddAdd(CLI::App& app) {
  struct Options {
    std::string path, name;
    std::vector<std::string> files;
    int quality = 75;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "add", "Add picture files to a store as JPEG, named after the files (or --name)");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("FILE", options->files, "Picture files (read by their extension)")
      ->required();
  command->add_option("--name", options->name, "Key for the picture (one file only)");
  command->add_option("--quality", options->quality, "JPEG quality (stored at 90 at most)")
      ->capture_default_str();
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    if (!options->name.empty() && options->files.size() != 1) {
      throw CLI::ValidationError("--name", "--name can be given with one file only");
    }
    TStoreSession session(options->path, TStoreSession::Access::kReadWrite, options->password);
    TKES& store = session.Store();
    TPictureHost host;
    TImageIO io;
    io.SetAttachedImage(&host);
    io.SetMetafileCanvasFactory(MetafileCanvasFactory());
    const int quality = std::min(options->quality, kMaxStoredQuality);
    for (const std::string& file : options->files) {
      try {
        io.LoadFromFile(file);
        const std::string base = options->name.empty()
                                     ? NameFromFileName(*Utf8ToWin1252(ExtractFileName(file), '?'))
                                     : NewKeyFromUtf8(options->name);
        const std::string key = UniqueKeyNumbered(store, base);
        TMemoryStream stream;
        io.SaveToStreamJpeg(stream, quality);
        store.AddItem(stream, key);
        store.Flush();
        std::printf("%s\n", Win1252ToUtf8(key).c_str());
      } catch (const std::exception& e) {
        // One unreadable file does not stop the batch.
        std::fprintf(stderr, "skd: %s: %s\n", file.c_str(), e.what());
        SetExitStatus(1);
      }
    }
    session.Close();
  });
}

void AddExport(CLI::App& app) {
  struct Options {
    std::string path, format, dir = ".";
    std::vector<std::string> keys;
    int quality = 100;
    TGifOptions gif;
    TPasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand("export", "Write stored pictures as files named after keys");
  command->add_option("STORE", options->path, "Store file")->required();
  command->add_option("KEY", options->keys, "Keys (UTF-8)")->required();
  command->add_option("--format", options->format, "Output format")
      ->required()
      ->check(CLI::IsMember({"jpg", "bmp", "gif"}));
  command->add_option("--quality", options->quality, "JPEG quality")->capture_default_str();
  command->add_option("--dir", options->dir, "Folder to write into")->capture_default_str();
  AddGifOptions(*command, options->gif);
  AddPasswordOption(*command, options->password);
  command->callback([options] {
    TStoreSession session(options->path, TStoreSession::Access::kReadOnly, options->password);
    TKES& store = session.Store();
    TPictureHost host;
    TImageIO io;
    io.SetAttachedImage(&host);
    io.SetMetafileCanvasFactory(MetafileCanvasFactory());
    for (const std::string& key : options->keys) {
      if (!store.FindKey(LookupKeyFromUtf8(key))) {
        throw ECommandError("there is no item '" + key + "' in " + store.FileName());
      }
      TMemoryStream stream;
      store.GetItem(stream);
      io.LoadFromStreamJpeg(stream);
      const std::string target =
          options->dir + "/" + FileNameFromText(Win1252ToUtf8(store.CurrentKey())) + "." + options->format;
      if (options->format == "jpg") {
        io.SaveToFileJpeg(target, options->quality);
      } else if (options->format == "gif") {
        SaveGif(io, target, options->gif);
      } else {
        io.SaveToFileBMP(target);
      }
      std::printf("%s\n", target.c_str());
    }
    session.Close();
  });
}

}  // namespace

void AddPictureCommands(CLI::App& app) {
  AddAdd(app);
  AddExport(app);
}

}  // namespace sk::skd
