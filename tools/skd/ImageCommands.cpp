// skd commands on picture files: convert and identify, through the program's own codecs; the GIF
// options shared with export.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/PictureInfo.h"
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

// One line per file, tab-separated: name, format, width, height, resolution as XxY dots per inch
// ("-" when the file gives none) and page count ("-" for formats without pages). A file that
// cannot be read is reported on stderr and makes the exit status 1; the others are still listed.
void AddIdentify(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  auto* command = app.add_subcommand(
      "identify",
      "Print, per picture file, its format, width, height, resolution and (TIFF) page count, "
      "read as the program would add it");
  command->add_option("FILE", *files, "Picture files")->required();
  command->callback([files] {
    for (const std::string& file : *files) {
      try {
        const TPictureInfo info = IdentifyPictureFile(file, MetafileCanvasFactory());
        const std::string resolution = info.resolution ? std::to_string(info.resolution->x) + "x" +
                                                             std::to_string(info.resolution->y)
                                                       : "-";
        const std::string pages = info.page_count ? std::to_string(*info.page_count) : "-";
        std::printf("%s\t%s\t%d\t%d\t%s\t%s\n", file.c_str(), info.format.c_str(), info.width,
                    info.height, resolution.c_str(), pages.c_str());
      } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "skd: %s: %s\n", file.c_str(), e.what());
        SetExitStatus(1);
      }
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
  AddIdentify(app);
}

}  // namespace sk::skd
