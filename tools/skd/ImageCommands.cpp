// skd commands on picture files: convert, through the program's own codecs; the GIF options
// shared with export.
#include <memory>
#include <string>

#include "imaging/ImageIO.h"
#include "platform/Files.h"
#include "tools/skd/Commands.h"

namespace sk::skd {

namespace {

enum class TOutputFormat { kJpeg, kBmp, kGif };

// The format to write, from the output file's extension.
TOutputFormat OutputFormatOf(const std::string& file_name) {
  std::string extension = ExtractFileExt(file_name);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == ".jpg" || extension == ".jpeg") return TOutputFormat::kJpeg;
  if (extension == ".bmp") return TOutputFormat::kBmp;
  if (extension == ".gif") return TOutputFormat::kGif;
  throw ECommandError("cannot write " + file_name +
                      ": the output name must end in .jpg, .jpeg, .bmp or .gif");
}

void AddConvert(CLI::App& app) {
  struct Options {
    std::string input, output;
    int quality = 100;
    TGifOptions gif;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "convert",
      "Read a picture file and write it as JPEG, BMP or GIF, each chosen by its extension");
  command
      ->add_option("IN", options->input,
                   "Picture to read, by its extension as the program reads files: .jpg/.jpeg, "
                   ".gif, .tif/.tiff, .pcx, .wmf/.emf, anything else as BMP")
      ->required();
  command->add_option("OUT", options->output, "File to write: .jpg/.jpeg, .bmp or .gif")
      ->required();
  command
      ->add_option("--quality", options->quality,
                   "JPEG quality; the codec takes values below 1 as 1 and above 100 as 100")
      ->capture_default_str();
  AddGifOptions(*command, options->gif);
  command->callback([options] {
    const TOutputFormat format = OutputFormatOf(options->output);
    TPictureHost host;
    TImageIO io;
    io.SetAttachedImage(&host);
    io.SetMetafileCanvasFactory(MetafileCanvasFactory());
    io.LoadFromFile(options->input);
    switch (format) {
      case TOutputFormat::kJpeg: io.SaveToFileJpeg(options->output, options->quality); break;
      case TOutputFormat::kBmp: io.SaveToFileBMP(options->output); break;
      case TOutputFormat::kGif: SaveGif(io, options->output, options->gif); break;
    }
  });
}

}  // namespace

void AddGifOptions(CLI::App& command, TGifOptions& options) {
  command.add_flag("--interlaced", options.interlaced, "GIF: write the rows interlaced");
  command.add_flag("--transparent", options.transparent,
                   "GIF: make the background colour (table entry 0) transparent");
  command.add_flag("--lzw", options.lzw, "GIF: compress with LZW instead of run lengths");
}

void SaveGif(TImageIO& io, const std::string& file_name, const TGifOptions& options) {
  io.SetUseLZW(options.lzw);
  io.SaveToFileGIF(file_name, options.interlaced, 0, options.transparent, 0, 0);
}

void AddImageCommands(CLI::App& app) {
  AddConvert(app);
}

}  // namespace sk::skd
