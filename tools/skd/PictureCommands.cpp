// skd commands that move pictures between files and a store: add and export.
#include <cstdio>
#include <memory>
#include <utility>

#include "imaging/ImageIO.h"
#include "imaging/InvalidGraphic.h"
#include "platform/Files.h"
#include "platform/Win1252.h"
#include "store/KESNames.h"
#include "tools/skd/Commands.h"
#include "tools/skd/Progress.h"
#include "tools/skd/StoreSession.h"
#include "vault/AddPicture.h"
#include "vault/KeyText.h"
#include "vault/PicturePipeline.h"

namespace sk::skd {

namespace {

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
    // The count of files is the progress line while they are added, not the store's save after
    // each one; the close shows the store's steps again.
    TProgressEvent store_progress = std::exchange(store.ProgressUpdate, {});
    TOffscreenPicture picture;
    picture.IO().SetMetafileCanvasFactory(MetafileCanvasFactory());
    // The files are read and encoded ahead on worker threads while each one is stored in turn.
    TPicturePipeline pipeline(options->files, options->quality, picture);
    const size_t total = options->files.size();
    size_t done = 0;
    while (pipeline.HasNext()) {
      ThrowIfInterrupted();
      ShowCountProgress("adding", done, total);
      TPipelineResult result = pipeline.Next();
      ++done;
      const std::string& file = result.file_name;
      try {
        const std::string base =
            options->name.empty() ? KeyForFile(file) : KeyFromText(options->name);
        const std::string key = StorePipelineResult(store, result, base, TUniqueKeyRule::kNumbered);
        ClearProgress();
        std::printf("%s\n", KeyToUtf8(key).c_str());
      } catch (const std::exception& e) {
        // One unreadable file does not stop the batch.
        ClearProgress();
        std::fprintf(stderr, "skd: %s: %s\n", file.c_str(), e.what());
        SetExitStatus(1);
      }
    }
    ClearProgress();
    store.ProgressUpdate = std::move(store_progress);
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
    const size_t total = options->keys.size();
    size_t done = 0;
    for (const std::string& key : options->keys) {
      ShowCountProgress("exporting", done++, total);
      if (!store.FindKey(ExactKeyFromText(key))) {
        throw ECommandError("there is no item '" + key + "' in " + store.FileName());
      }
      TMemoryStream stream;
      store.GetItem(stream);
      io.LoadFromStreamJpeg(stream);
      const std::string target = options->dir + "/" +
                                 FileNameFromText(KeyToUtf8(store.CurrentKey())) + "." +
                                 options->format;
      if (options->format == "jpg") {
        io.SaveToFileJpeg(target, options->quality);
      } else if (options->format == "gif") {
        SaveGif(io, target, options->gif);
      } else {
        io.SaveToFileBMP(target);
      }
      ClearProgress();
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
