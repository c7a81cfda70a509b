// skd: the picture store and the image codecs for scripts, through the program's own code.
#include <cstdio>
#include <exception>

#include "tools/skd/Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"skd - work with Stillkeep picture stores and image files from the command line"};
  app.require_subcommand(1);
  sk::skd::AddStoreCommands(app);
  sk::skd::AddImageCommands(app);
  sk::skd::AddPictureCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;  // usage error
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skd: %s\n", e.what());
    return 1;
  }
  return sk::skd::ExitStatus();
}
