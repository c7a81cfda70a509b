// skd commands on picture files: convert, through the program's own codecs.
#include <memory>
#include <string>

#include "imaging/ImageIO.h"
#include "platform/Files.h"
#include "tools/skd/Commands.h"

namespace sk::skd {

namespace {

enum class TOutputFormat { kJpeg, kBmp };

// The format to write, from the output file's extension.
TOutputFormat OutputFormatOf(const std::string& file_name) {
  std::string extension = ExtractFileExt(file_name);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == ".jpg" || extension == ".jpeg") return TOutputFormat::kJpeg;
  if (extension == ".bmp") return TOutputFormat::kBmp;
  throw ECommandError("cannot write " + file_name +
                      ": the output name must end in .jpg, .jpeg or .bmp");
}

void AddConvert(CLI::App& app) {
  struct Options {
    std::string input, output;
    int quality = 100;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "convert", "Read a picture file and write it as JPEG or BMP, each chosen by its extension");
  command
      ->add_option("IN", options->input,
                   "Picture to read: .jpg/.jpeg as JPEG, anything else as BMP (as the program "
                   "reads files)")
      ->required();
  command->add_option("OUT", options->output, "File to write: .jpg/.jpeg or .bmp")->required();
  command
      ->add_option("--quality", options->quality,
                   "JPEG quality; the codec takes values below 1 as 1 and above 100 as 100")
      ->capture_default_str();
  command->callback([options] {
    const TOutputFormat format = OutputFormatOf(options->output);
    TPictureHost host;
    TImageIO io;
    io.SetAttachedImage(&host);
    io.LoadFromFile(options->input);
    switch (format) {
      case TOutputFormat::kJpeg: io.SaveToFileJpeg(options->output, options->quality); break;
      case TOutputFormat::kBmp: io.SaveToFileBMP(options->output); break;
    }
  });
}

}  // namespace

void AddImageCommands(CLI::App& app) {
  AddConvert(app);
}

}  // namespace sk::skd
