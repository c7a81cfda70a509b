// The verb under HKEY_CLASSES_ROOT, its projection onto the file managers, and the request socket.
#include "app/ShellIntegration.h"

#include "app/ScreenText.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <exception>
#include <utility>

#include "platform/qt/Registry.h"
#include "platform/qt/RequestServer.h"

namespace sk {

namespace {

// The first line of every file the projection writes; only files that carry it are removed.
const QString kMarker =
    QStringLiteral("# Written by Stillkeep while it runs, and removed when it exits.");
const QString kNautilusScript = QStringLiteral("/nautilus/scripts/Add To Stillkeep");
const QString kServiceMenu = QStringLiteral("/kio/servicemenus/stillkeep-add-to-stillkeep.desktop");
const QString kDesktopEntry = QStringLiteral("/applications/stillkeep-add-to-stillkeep.desktop");

// The MIME type and the file-name pattern (for the Nautilus script, which sees every file) of an
// extension the projection knows; ".PWS" has no MIME type and is not projected.
struct TProjectedType {
  const char* extension;
  const char* mime_type;
  const char* pattern;
};
constexpr TProjectedType kProjectedTypes[] = {
    {".bmp", "image/bmp", "*.[bB][mM][pP]"},
    {".gif", "image/gif", "*.[gG][iI][fF]"},
    {".jpg", "image/jpeg", "*.[jJ][pP][gG]|*.[jJ][pP][eE][gG]|*.[jJ][pP][eE]"},
};

QString Path(const QString& extension_or_type) {
  return u'\\' + extension_or_type;
}

// The current key's default value, or the empty text when it has none.
QString DefaultText(const TRegistry& classes) {
  return classes.ValueExists(QString()) ? classes.ReadString(QString()) : QString();
}

// Opens (creating) path and writes text as its default value when that is empty or missing.
void KeepOrWriteDefault(TRegistry& classes, const QString& path, const QString& text) {
  classes.OpenKey(path, true);
  if (DefaultText(classes).isEmpty()) classes.WriteString(QString(), text);
}

// The type the current (extension's) key names, or "Stillkeep" when it has no default value; an
// empty default value gives the empty text.
QString FileTypeOf(const TRegistry& classes) {
  return classes.ValueExists(QString()) ? classes.ReadString(QString()) : Text(kShellFileType);
}

bool SafeForFiles(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
  }
  return !text.isEmpty();
}

// The program as a desktop entry's Exec argument: quoted, with the characters the quoting
// reserves escaped, then the backslashes doubled for the string value and "%" written "%%".
QString DesktopExecProgram(const QString& program) {
  QString quoted = QStringLiteral("\"");
  for (QChar c : program) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    quoted += c;
  }
  quoted += u'"';
  quoted.replace(u'\\', QStringLiteral("\\\\"));
  quoted.replace(u'%', QStringLiteral("%%"));
  return quoted;
}

// The program as a word of a POSIX shell script.
QString ShellWord(const QString& program) {
  QString word = program;
  word.replace(u'\'', QStringLiteral("'\\''"));
  return u'\'' + word + u'\'';
}

void WriteProjectionFile(const QString& path, const QString& text, bool executable) {
  const QString folder = QFileInfo(path).absolutePath();
  QSaveFile file(path);
  if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 ||
      !file.commit()) {
    throw EShellError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  }
  QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadGroup | QFileDevice::ReadOther;
  if (executable) {
    permissions |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
  }
  if (!QFile::setPermissions(path, permissions)) {
    throw EShellError(QStringLiteral("Cannot make %1 executable").arg(path));
  }
}

// True when one of the file's first two lines (a script's first is its interpreter) is the marker.
bool WrittenByUs(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  for (int line = 0; line < 2; ++line) {
    if (QString::fromUtf8(file.readLine(4096)).trimmed() == kMarker) return true;
  }
  return false;
}

// Writes a projection file unless a file of the same name that this program did not write is
// there: that one is the user's.
void WriteOwnFile(const QString& path, const QString& text, bool executable) {
  if (QFileInfo::exists(path) && !WrittenByUs(path)) return;
  WriteProjectionFile(path, text, executable);
}

}  // namespace

void RegisterDDE(TRegistry& classes, const QString& extension, const QString& executable) {
  classes.OpenKey(Path(extension), true);
  QString type = FileTypeOf(classes);
  if (type.isEmpty() || !classes.KeyExists(Path(type))) {
    classes.WriteString(QString(), Text(kShellFileType));
    type = classes.ReadString(QString());
  }
  const QString verb = Path(type) + QStringLiteral("\\Shell\\") + Text(kShellVerb);
  classes.OpenKey(verb, true);
  // The path keeps its case: on this system a lower-cased path names another file, or none.
  KeepOrWriteDefault(classes, verb + QStringLiteral("\\command"), u'"' + executable + u'"');
  KeepOrWriteDefault(classes, verb + QStringLiteral("\\ddeexec"), QStringLiteral("%1"));
  KeepOrWriteDefault(classes, verb + QStringLiteral("\\ddeexec\\topic"), Text(kRequestTopic));
  classes.CloseKey();
}

void DeRegisterDDE(TRegistry& classes, const QString& extension) {
  if (!classes.OpenKey(Path(extension), false)) return;
  const QString type = FileTypeOf(classes);
  // An extension whose type was cleared since names no verb to remove.
  if (type.isEmpty()) {
    classes.CloseKey();
    return;
  }
  if (type.compare(Text(kShellFileType), Qt::CaseInsensitive) == 0) {
    classes.WriteString(QString(), QString());
    classes.DeleteKey(Path(Text(kShellFileType)));
  } else {
    classes.DeleteKey(Path(type) + QStringLiteral("\\Shell\\") + Text(kShellVerb));
  }
  classes.CloseKey();
}

TShellPaths TShellPaths::ForProgram() {
  TShellPaths paths;
  paths.classes_file = TRegistry::ClassesRootPath();
  paths.data_home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  paths.executable = QCoreApplication::applicationFilePath();
  paths.socket_path = RequestSocketPath(ServiceName(paths.executable));
  return paths;
}

QStringList ProjectionFiles(const QString& data_home) {
  return {data_home + kNautilusScript, data_home + kServiceMenu, data_home + kDesktopEntry};
}

void ProjectVerb(TRegistry& classes, const QString& data_home, const QString& executable) {
  QStringList mime_types;
  QStringList patterns;
  for (const TProjectedType& projected : kProjectedTypes) {
    if (!classes.OpenKey(Path(Text(projected.extension)), false)) continue;
    const QString type = FileTypeOf(classes);
    const QString topic = Path(type) + QStringLiteral("\\Shell\\") + Text(kShellVerb) +
                          QStringLiteral("\\ddeexec\\topic");
    if (!type.isEmpty() && classes.OpenKey(topic, false) &&
        DefaultText(classes) == Text(kRequestTopic)) {
      mime_types.append(Text(projected.mime_type));
      patterns.append(Text(projected.pattern));
    }
    classes.CloseKey();
  }
  RemoveProjection(data_home);
  if (mime_types.isEmpty()) return;
  if (!SafeForFiles(executable)) {
    throw EShellError(QStringLiteral("The program's path cannot be written into the file "
                                     "manager's entries: %1")
                          .arg(executable));
  }
  const QString exec = DesktopExecProgram(executable) + QStringLiteral(" %F");
  const QString name = Text(kShellVerb);
  // Nautilus runs a script with the chosen files and shows it for every file: the script passes
  // on only the pictures, all at once, since the first call may become the running program.
  WriteOwnFile(data_home + kNautilusScript,
               QStringLiteral("#!/bin/sh\n") + kMarker +
                   QStringLiteral("\nfor f do\n  shift\n  case $f in\n    ") + patterns.join(u'|') +
                   QStringLiteral(") set -- \"$@\" \"$f\" ;;\n  esac\ndone\n"
                                  "[ $# -gt 0 ] || exit 0\nexec ") +
                   ShellWord(executable) + QStringLiteral(" \"$@\"\n"),
               true);
  WriteOwnFile(data_home + kServiceMenu,
               kMarker + QStringLiteral("\n[Desktop Entry]\nType=Service\nName=") + name +
                   QStringLiteral("\nMimeType=") + mime_types.join(u';') +
                   QStringLiteral(";\nActions=AddToStillkeep;\n"
                                  "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n\n"
                                  "[Desktop Action AddToStillkeep]\nName=") +
                   name + QStringLiteral("\nExec=") + exec + u'\n',
               true);
  // No MimeType: an entry that lists the picture types would become their default opener. Not in
  // the menus either: started from there without files it would only start a second program.
  WriteOwnFile(data_home + kDesktopEntry,
               kMarker +
                   QStringLiteral("\n[Desktop Entry]\nVersion=1.0\nType=Application\n"
                                  "Name=") +
                   name +
                   QStringLiteral("\nComment=Stores pictures in the store open in "
                                  "Stillkeep\nExec=") +
                   exec +
                   QStringLiteral(
                       "\nIcon=stillkeep\nTerminal=false\nNoDisplay=true\nCategories=Graphics;\n"),
               false);
}

void RemoveProjection(const QString& data_home) {
  for (const QString& path : ProjectionFiles(data_home)) {
    if (!QFileInfo::exists(path) || !WrittenByUs(path)) continue;
    if (!QFile::remove(path)) throw EShellError(QStringLiteral("Cannot remove %1").arg(path));
  }
}

TShellIntegration::TShellIntegration(TShellPaths paths,
                                     std::function<bool(const QStringList& lines)> on_execute)
    : paths_(std::move(paths)),
      server_(std::make_unique<TRequestServer>(paths_.socket_path, Text(kRequestTopic))) {
  server_->OnExecute = std::move(on_execute);
}

TShellIntegration::~TShellIntegration() {
  try {
    Stop();
  } catch (...) {
    // A destructor cannot report; the next start cleans up what is left.
  }
}

bool TShellIntegration::Serving() const {
  return server_->IsListening();
}

void TShellIntegration::Start() {
  switch (server_->Listen()) {
    case TRequestServer::TListen::kOtherInstance: return;
    case TRequestServer::TListen::kFailed:
      throw EShellError(QStringLiteral("The file manager's requests cannot be received: %1")
                            .arg(server_->ErrorText()));
    case TRequestServer::TListen::kListening: break;
  }
  RemoveProjection(paths_.data_home);
  TRegistry classes(paths_.classes_file, TRegRoot::kClassesRoot);
  registered_ = true;
  for (const char* extension : kShellExtensions) {
    RegisterDDE(classes, Text(extension), paths_.executable);
  }
  ProjectVerb(classes, paths_.data_home, paths_.executable);
}

void TShellIntegration::Stop() {
  server_->Close();
  if (!registered_) return;
  registered_ = false;
  std::exception_ptr first;
  try {
    TRegistry classes(paths_.classes_file, TRegRoot::kClassesRoot);
    for (const char* extension : kShellExtensions) {
      try {
        DeRegisterDDE(classes, Text(extension));
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  try {
    RemoveProjection(paths_.data_home);
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace sk
