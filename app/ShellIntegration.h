// The "Add To Stillkeep" verb while the program runs: the verb under HKEY_CLASSES_ROOT for the
// picture types (RegisterDDE, DeRegisterDDE), its projection onto the desktop's file managers (a
// Nautilus script, a Dolphin service menu and a desktop entry), and the request socket the
// file-manager entries reach the running program through.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>

namespace sk {

class TRegistry;
class TRequestServer;

// The extensions the verb is registered for, in the order of registration.
inline constexpr std::array<const char*, 4> kShellExtensions = {".bmp", ".gif", ".jpg", ".PWS"};
// The file type made for an extension that has none, the verb and the request topic.
inline constexpr char kShellFileType[] = "Stillkeep";
inline constexpr char kShellVerb[] = "Add To Stillkeep";
inline constexpr char kRequestTopic[] = "LoadFile";

// A failure to write or remove the desktop's files; the message names the file and the reason.
class EShellError : public std::runtime_error {
 public:
  explicit EShellError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Registers the verb for extension in classes (an HKEY_CLASSES_ROOT registry): the extension's
// file type (made "Stillkeep" when it has no usable one) gets the verb "Add To Stillkeep" whose
// "command" is the quoted executable and whose "ddeexec" is "%1" with the topic "LoadFile".
// Values that already hold text are kept. Raises ERegistryException.
void RegisterDDE(TRegistry& classes, const QString& extension, const QString& executable);
// Removes what RegisterDDE made: the type "Stillkeep" (clearing the extension's type) when the
// extension has it, else only the verb of the extension's type. Raises ERegistryException.
void DeRegisterDDE(TRegistry& classes, const QString& extension);

// Where the integration keeps its files; every path comes from the environment at the call.
struct TShellPaths {
  QString classes_file;  // the HKEY_CLASSES_ROOT registry file
  QString data_home;     // $XDG_DATA_HOME, or $HOME/.local/share
  QString socket_path;   // the request socket
  QString executable;    // the program the entries run

  // The paths for the running program: TRegistry::ClassesRootPath(), the data home and the
  // socket of the executable's service name.
  static TShellPaths ForProgram();
};

// The desktop's files that offer the verb: a Nautilus script, a Dolphin service menu and a
// desktop entry (without MIME types, so it never becomes a default opener).
QStringList ProjectionFiles(const QString& data_home);

// Writes the desktop's files for the MIME types of the extensions whose verb in classes is
// registered with the topic "LoadFile" (no file when there is none), replacing the ones an earlier
// run left. Each runs executable with the chosen files. Raises EShellError.
void ProjectVerb(TRegistry& classes, const QString& data_home, const QString& executable);
// Removes the desktop's files this program wrote (a file of the same name that it did not write
// is left alone). Raises EShellError when one cannot be removed.
void RemoveProjection(const QString& data_home);

// The whole integration for one run: Start listens at the socket and, when this program is the
// one that serves it, registers the verb and projects it; Stop undoes both and closes the socket.
class TShellIntegration {
 public:
  // on_execute: called on the event loop with the lines of each request; returns whether it was
  // taken.
  TShellIntegration(TShellPaths paths, std::function<bool(const QStringList& lines)> on_execute);
  ~TShellIntegration();
  TShellIntegration(const TShellIntegration&) = delete;
  TShellIntegration& operator=(const TShellIntegration&) = delete;

  // Listens; when another running program already serves the socket, does nothing more (the
  // verb is that program's). Otherwise removes the desktop's files a run that ended without
  // stopping left, registers the verb for kShellExtensions in order and projects it. Raises
  // ERegistryException or EShellError (the socket stays open).
  void Start();
  // Closes the socket, deregisters the verb in order and removes the desktop's files; does
  // nothing when Start did not register. Tries every step and raises the first failure.
  void Stop();
  bool Serving() const;
  const TShellPaths& Paths() const { return paths_; }

 private:
  TShellPaths paths_;
  std::unique_ptr<TRequestServer> server_;
  bool registered_ = false;
};

}  // namespace sk
