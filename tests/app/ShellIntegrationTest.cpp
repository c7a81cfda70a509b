// Tests of the file manager's "Add To Stillkeep": the verb under HKEY_CLASSES_ROOT, the desktop's
// files while the program runs, the request socket, and the requests that add pictures.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/FileManagerRequests.h"
#include "app/Messages.h"
#include "app/ShellIntegration.h"
#include "imaging/ImageIO.h"
#include "platform/MemoryStream.h"
#include "platform/RequestClient.h"
#include "platform/RequestFrame.h"
#include "platform/qt/Registry.h"
#include "platform/qt/RequestServer.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/PictureWorkflowTest.h"
#include "view/Image.h"

namespace sk::test {
namespace {

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const QString kExecutable = QStringLiteral("/opt/Stillkeep/bin/stillkeep");

// Runs work on a thread of its own while this thread serves the event loop, as the file manager's
// call of the program runs beside it.
template <typename Result>
Result WhileServing(const std::function<Result()>& work) {
  std::atomic<bool> done{false};
  Result result{};
  std::thread worker([&] {
    result = work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
  QCoreApplication::processEvents();
  return result;
}

// Sends raw bytes to the socket and collects reply bytes until replies_due have come, the server
// closes the connection, or replies stop for a while; closed tells whether the server then closed
// the connection.
std::string SendRaw(const std::string& socket_path, const std::string& bytes, size_t replies_due,
                    bool& closed) {
  closed = false;
  return WhileServing<std::string>([&] {
    std::string replies;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(bytes.size())) {
      pollfd entry{fd, POLLIN, 0};
      char buffer[64];
      while (replies.size() < replies_due && ::poll(&entry, 1, 10000) > 0) {
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0) break;
        replies.append(buffer, static_cast<size_t>(got));
      }
      char more = 0;
      closed = ::poll(&entry, 1, 1000) > 0 && ::recv(fd, &more, 1, 0) == 0;
    }
    ::close(fd);
    return replies;
  });
}


// The default value of a key of the classes registry, or nothing when the key or value is missing.
std::optional<QString> DefaultOf(const QString& path) {
  TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
  if (!classes.OpenKey(path, false) || !classes.ValueExists(QString())) return std::nullopt;
  return classes.ReadString(QString());
}

bool KeyExists(const QString& path) {
  TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
  return classes.KeyExists(path);
}

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What a program prints, run with the test's environment.
QString RunTool(const QString& program, const QStringList& arguments, int* exit_code = nullptr) {
  QProcess process;
  process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  process.start(program, arguments);
  process.waitForFinished(60000);
  if (exit_code != nullptr) *exit_code = process.exitCode();
  return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

class ShellIntegrationTest : public TPictureWorkflowTest {
 protected:
  std::string SocketPath() {
    return QFile::encodeName(Form().Shell()->Paths().socket_path).toStdString();
  }
  // Sends each text as one request of the file manager and waits for the replies.
  TSendResult Request(const std::vector<std::string>& texts,
                      const std::string& topic = "LoadFile") {
    const std::string socket = SocketPath();
    return WhileServing<TSendResult>([&] { return SendRequests(socket, topic, texts, 60000); });
  }
  TSendResult Request(const QString& file) { return Request({file.toStdString()}); }
  QString DataHome() const { return Path(QStringLiteral("data")); }
  // A store with one picture that the program reopens at start (the last store, auto-loaded),
  // so that the file manager's requests find it open.
  void MakeStoreTheProgramReopens() {
    store_ = Path(QStringLiteral("pictures.skd"));
    MakeStore(store_, {{"kept", 8, 8, 0x102030}});
    WritePreference(QStringLiteral("AutoStart"), 1);
    TRegistry registry(RegistryFile());
    registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Menu"), true);
    registry.WriteString(QStringLiteral("F0"), store_);
  }
  // Starts the program without a display, called with files as the file manager calls it.
  static void StartProgram(QProcess& program, const QStringList& files) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SK_STILLKEEP_PATH), files);
  }
};

TEST_F(ShellIntegrationTest, RegisteringKeepsWhatIsThereAndRemovingTakesOnlyWhatWasMade) {
  const QString verb = QStringLiteral("\\Shell\\Add To Stillkeep");
  const struct {
    const char* what;
    std::optional<QString> extension_type;  // the default value of ".bmp" before; none: no key
    bool type_exists;                       // the key of that type exists with an "open" verb
    std::optional<QString> custom_command;  // a command of an earlier verb under that type
    QString type;                           // the type the verb is registered under
    QString command;                        // its command
    std::optional<QString> type_after;      // ".bmp"'s default value after deregistering
  } cases[] = {
      {"a type with a custom command", QStringLiteral("Paint.Picture"), true,
       QStringLiteral("\"/usr/bin/custom\" \"%1\""), QStringLiteral("Paint.Picture"),
       QStringLiteral("\"/usr/bin/custom\" \"%1\""), QStringLiteral("Paint.Picture")},
      {"a type without the verb", QStringLiteral("Paint.Picture"), true, std::nullopt,
       QStringLiteral("Paint.Picture"), u'"' + kExecutable + u'"', QStringLiteral("Paint.Picture")},
      {"no key for the extension", std::nullopt, false, std::nullopt, QStringLiteral("Stillkeep"),
       u'"' + kExecutable + u'"', QString()},
      {"a type that does not exist", QStringLiteral("Gone.Type"), false, std::nullopt,
       QStringLiteral("Stillkeep"), u'"' + kExecutable + u'"', QString()},
      {"a type cleared by an earlier run", QString(), false, std::nullopt,
       QStringLiteral("Stillkeep"), u'"' + kExecutable + u'"', QString()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(TRegistry::ClassesRootPath());
    TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
    if (c.extension_type) {
      classes.OpenKey(QStringLiteral("\\.bmp"), true);
      classes.WriteString(QString(), *c.extension_type);
    }
    if (c.type_exists) {
      classes.OpenKey(u'\\' + *c.extension_type + QStringLiteral("\\Shell\\open\\command"), true);
      classes.WriteString(QString(), QStringLiteral("viewer %1"));
    }
    if (c.custom_command) {
      classes.OpenKey(u'\\' + *c.extension_type + verb + QStringLiteral("\\command"), true);
      classes.WriteString(QString(), *c.custom_command);
    }
    RegisterDDE(classes, QStringLiteral(".bmp"), kExecutable);
    EXPECT_EQ(DefaultOf(QStringLiteral("\\.bmp")), c.type);
    EXPECT_EQ(DefaultOf(u'\\' + c.type + verb + QStringLiteral("\\command")), c.command);
    EXPECT_EQ(DefaultOf(u'\\' + c.type + verb + QStringLiteral("\\ddeexec")), QStringLiteral("%1"));
    EXPECT_EQ(DefaultOf(u'\\' + c.type + verb + QStringLiteral("\\ddeexec\\topic")),
              QStringLiteral("LoadFile"));
    // A second run finds its own verb and changes nothing.
    const QString before = ReadAll(TRegistry::ClassesRootPath());
    RegisterDDE(classes, QStringLiteral(".bmp"), QStringLiteral("/elsewhere/stillkeep"));
    EXPECT_EQ(ReadAll(TRegistry::ClassesRootPath()), before);

    DeRegisterDDE(classes, QStringLiteral(".bmp"));
    EXPECT_EQ(DefaultOf(QStringLiteral("\\.bmp")), c.type_after);
    EXPECT_FALSE(KeyExists(u'\\' + c.type + verb));
    EXPECT_FALSE(KeyExists(QStringLiteral("\\Stillkeep")));
    // The type and its other verbs stay.
    EXPECT_EQ(KeyExists(u'\\' + c.type + QStringLiteral("\\Shell\\open")), c.type_exists);
  }
  // An extension that was never registered is left alone.
  TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
  DeRegisterDDE(classes, QStringLiteral(".never"));
  EXPECT_FALSE(KeyExists(QStringLiteral("\\.never")));
}

TEST_F(ShellIntegrationTest, TheTwoHivesAreKeptApart) {
  TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
  classes.OpenKey(QStringLiteral("\\.jpg"), true);
  classes.WriteString(QString(), QStringLiteral("jpegfile"));
  EXPECT_NE(TRegistry::ClassesRootPath(), TRegistry::DefaultPath());
  // A file of one hive read as the other is not taken for it.
  TRegistry wrong(TRegistry::ClassesRootPath(), TRegRoot::kCurrentUser);
  EXPECT_TRUE(wrong.WasDamaged());
  EXPECT_FALSE(wrong.KeyExists(QStringLiteral("\\.jpg")));
  EXPECT_TRUE(ReadAll(TRegistry::ClassesRootPath()).contains(QStringLiteral("HKEY_CLASSES_ROOT")));
}

TEST_F(ShellIntegrationTest, TheVerbAndTheDesktopFilesExistOnlyWhileTheProgramRuns) {
  const QString gio_before = RunTool(QStringLiteral("/usr/bin/gio"),
                                     {QStringLiteral("mime"), QStringLiteral("image/jpeg")});
  TMainForm& form = MakeForm();
  ASSERT_NE(form.Shell(), nullptr);
  EXPECT_TRUE(form.Shell()->Serving());
  EXPECT_TRUE(prompts_.Messages().empty());
  // The first extension without a type makes "Stillkeep"; the others, having no type either,
  // name it by the rule "no default value: Stillkeep".
  EXPECT_EQ(DefaultOf(QStringLiteral("\\.bmp")), QStringLiteral("Stillkeep"));
  for (const char* extension : {".gif", ".jpg", ".PWS"}) {
    EXPECT_EQ(DefaultOf(u'\\' + Text(extension)), std::nullopt) << extension;
  }
  EXPECT_EQ(DefaultOf(QStringLiteral("\\Stillkeep\\Shell\\Add To Stillkeep\\command")),
            u'"' + QCoreApplication::applicationFilePath() + u'"');
  // The socket is its owner's alone.
  struct stat status {};
  ASSERT_EQ(::stat(SocketPath().c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 077, 0u);

  const QStringList files = ProjectionFiles(DataHome());
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(ReadAll(file).contains(QCoreApplication::applicationFilePath()));
  }
  EXPECT_TRUE(QFileInfo(files[0]).isExecutable());
  EXPECT_TRUE(QFileInfo(files[1]).isExecutable());
  int code = -1;
  EXPECT_EQ(RunTool(QStringLiteral("desktop-file-validate"), {files[2]}, &code), QString());
  EXPECT_EQ(code, 0);
  // Every KDE service menu is of type Service, whose keys the validator does not know; nothing
  // else may be wrong with it.
  QStringList service_menu_errors =
      RunTool(QStringLiteral("desktop-file-validate"), {files[1]}).split(u'\n', Qt::SkipEmptyParts);
  service_menu_errors.removeIf([](const QString& line) {
    return line.contains(QStringLiteral("but the type is \"Service\""));
  });
  EXPECT_EQ(service_menu_errors, QStringList());
  // The entry names no picture type, so it never becomes their opener.
  EXPECT_FALSE(ReadAll(files[2]).contains(QStringLiteral("MimeType")));
  EXPECT_TRUE(
      ReadAll(files[1]).contains(QStringLiteral("MimeType=image/bmp;image/gif;image/jpeg;")));
  EXPECT_EQ(RunTool(QStringLiteral("/usr/bin/gio"),
                    {QStringLiteral("mime"), QStringLiteral("image/jpeg")}),
            gio_before);

  const std::string socket = SocketPath();
  DestroyForm();
  for (const QString& file : files) EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
  for (const char* extension : kShellExtensions) {
    EXPECT_EQ(DefaultOf(u'\\' + Text(extension)), QString()) << extension;
  }
  EXPECT_FALSE(KeyExists(QStringLiteral("\\Stillkeep")));
  EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(socket.c_str())));
  EXPECT_EQ(RunTool(QStringLiteral("/usr/bin/gio"),
                    {QStringLiteral("mime"), QStringLiteral("image/jpeg")}),
            gio_before);
}

TEST_F(ShellIntegrationTest, AStartAfterACrashReplacesWhatTheEndedRunLeft) {
  // What a run that was killed leaves: its socket file, its desktop files, its type.
  const QString socket_path =
      RequestSocketPath(ServiceName(QCoreApplication::applicationFilePath()));
  {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socket_path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
  }
  {
    TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
    for (const char* extension : kShellExtensions) {
      RegisterDDE(classes, Text(extension), QStringLiteral("/old/stillkeep"));
    }
    ProjectVerb(classes, DataHome(), QStringLiteral("/old/stillkeep"));
  }
  // A user's own file in the way of one of ours is never touched.
  const QString users = ProjectionFiles(DataHome())[0];
  QFile::remove(users);
  {
    QFile file(users);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho mine\n");
  }

  TMainForm& form = MakeForm();
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_TRUE(form.Shell()->Serving());
  EXPECT_EQ(ReadAll(users), QStringLiteral("#!/bin/sh\necho mine\n"));
  for (const QString& file : ProjectionFiles(DataHome()).mid(1)) {
    EXPECT_FALSE(ReadAll(file).contains(QStringLiteral("/old/stillkeep"))) << file.toStdString();
  }
  EXPECT_EQ(Request(WriteJpeg(QStringLiteral("after.jpg"))), TSendResult::kAccepted);
  DestroyForm();
  EXPECT_FALSE(KeyExists(QStringLiteral("\\Stillkeep")));
  EXPECT_TRUE(QFileInfo::exists(users));
  for (const QString& file : ProjectionFiles(DataHome()).mid(1)) {
    EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
  }
}

TEST_F(ShellIntegrationTest, ARunningProgramIsNotDisplacedAndNothingButASocketIsReplaced) {
  TMainForm& form = MakeForm();
  TRequestServer second(form.Shell()->Paths().socket_path, QStringLiteral("LoadFile"));
  EXPECT_EQ(second.Listen(), TRequestServer::TListen::kOtherInstance);
  EXPECT_TRUE(form.Shell()->Serving());
  EXPECT_EQ(Request(WriteJpeg(QStringLiteral("still.jpg"))), TSendResult::kAccepted);

  const QString in_the_way = Path(QStringLiteral("run/plain-file"));
  {
    QFile file(in_the_way);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("data");
  }
  TRequestServer blocked(in_the_way, QStringLiteral("LoadFile"));
  EXPECT_EQ(blocked.Listen(), TRequestServer::TListen::kFailed);
  EXPECT_EQ(ReadAll(in_the_way), QStringLiteral("data"));
  EXPECT_EQ(SendRequests(QFile::encodeName(in_the_way).toStdString(), "LoadFile", {"/x.jpg"}, 1000),
            TSendResult::kNoServer);
}

TEST_F(ShellIntegrationTest, TheSameFileThreeTimesGrowsItsNameAtTheStoredQuality) {
  WritePreference(QStringLiteral("Quality"), QStringLiteral("100"));
  TMainForm& form = OpenStore({});
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  const char* expected[] = {"photo", "photo (1)", "photo (1) (2)"};
  for (const char* key : expected) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Request(photo), TSendResult::kAccepted);
    EXPECT_EQ(SelectedText(form.KeyList()), Text(key));
    EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x3060C0));
  }
  EXPECT_TRUE(prompts_.Messages().empty());
  std::vector<std::string> keys = Keys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"photo", "photo (1)", "photo (1) (2)"}));
  ASSERT_TRUE(form.KES().FindKey("photo (1)"));
  TMemoryStream stream;
  form.KES().GetItem(stream);
  EXPECT_EQ(QuantTables(stream.TakeBytes()), TablesAtQuality(90));
}

TEST_F(ShellIntegrationTest, ARequestThatNamesNoReadablePictureStoresNothing) {
  TMainForm& form = OpenStore({{"kept", 8, 8, 0x102030}});
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"a missing file", Path(QStringLiteral("missing.jpg")).toStdString()},
      {"no line", ""},
      {"a path from no root", "photo.jpg"},
      {"a file that is no picture", (Path(QStringLiteral("data")) + "/../config").toStdString()},
  };
  QDir::setCurrent(Path(QString()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    prompts_.ClearRecord();
    EXPECT_EQ(Request({c.text}), TSendResult::kAccepted);
    EXPECT_EQ(prompts_.Messages(), std::vector<QString>{Text(app_msg::kLoadFailed)});
    EXPECT_EQ(Keys(), std::vector<std::string>{"kept"});
  }
  // Only the first line names the file.
  prompts_.ClearRecord();
  EXPECT_EQ(Request({photo.toStdString() + "\n/another/line.jpg"}), TSendResult::kAccepted);
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(form.KES().Count(), 2);
}

TEST_F(ShellIntegrationTest, WithoutAStoreTheRequestIsToldItCouldNotBeSaved) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(Request(WriteJpeg(QStringLiteral("photo.jpg"))), TSendResult::kAccepted);
  EXPECT_EQ(prompts_.Messages(), std::vector<QString>{Text(app_msg::kStoreFailed)});
  EXPECT_EQ(form.KeyList().count(), 0);
}

TEST_F(ShellIntegrationTest, AThousandRequestsInARowAreAllStored) {
  TMainForm& form = OpenStore({});
  const QString first = WriteJpeg(QStringLiteral("picture.jpg"));
  const QByteArray bytes = ReadAll(first).toLatin1();
  std::vector<std::string> requests;
  for (int i = 0; i < 1000; ++i) {
    const QString copy = Path(QStringLiteral("picture-%1.jpg").arg(i));
    ASSERT_TRUE(QFile::copy(first, copy));
    requests.push_back(copy.toStdString());
  }
  EXPECT_EQ(Request(requests), TSendResult::kAccepted);
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(form.KES().Count(), 1000);
  EXPECT_EQ(form.KeyList().count(), 1000);
  EXPECT_TRUE(form.KES().FindKey("picture-999"));
}

TEST_F(ShellIntegrationTest, ARequestDuringACommandWaitsUntilTheCommandHasEnded) {
  TMainForm& form = OpenStore({});
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  const QString waiting = WriteJpeg(QStringLiteral("waiting.jpg"), 0xC06030);
  std::vector<std::string> keys_during;
  prompts_.QueueOpenPictures({photo});
  prompts_.QueueDialog(PressOk([&](QDialog&) {
    // The add command asks for the name; the file manager's request comes meanwhile.
    EXPECT_EQ(Request(waiting), TSendResult::kAccepted);
    keys_during = Keys();
  }));
  form.AddPicture();
  EXPECT_EQ(keys_during, std::vector<std::string>{});
  std::vector<std::string> keys = Keys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"photo", "waiting"}));
  // The request ran last: its picture is the one selected and shown.
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("waiting"));
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0xC06030));
}

TEST_F(ShellIntegrationTest, MalformedOrOversizedRequestsAreRefusedWithoutHarm) {
  TMainForm& form = OpenStore({});
  const std::string photo = WriteJpeg(QStringLiteral("photo.jpg")).toStdString();
  const std::string refused(1, kReplyRefused);
  const std::string accepted(1, kReplyAccepted);
  const struct {
    const char* what;
    std::string bytes;
    std::string replies;
    bool closed;  // the server closes the connection after the replies
  } cases[] = {
      {"another topic", EncodeRequest("Print", photo), refused, false},
      {"text that is not UTF-8", EncodeRequest("LoadFile", "/tmp/caf\xE9.jpg"), refused, false},
      {"a 0 byte in the text", EncodeRequest("LoadFile", photo + std::string(1, '\0') + "x"),
       refused, false},
      {"no topic separator, then a good one",
       std::string("\0\0\0\3abc", 7) + EncodeRequest("LoadFile", photo), refused + accepted, false},
      // The connection is closed: what follows the length is never read.
      {"a length above the limit",
       std::string("\0\1\0\1", 4) + std::string(100, 'x') + EncodeRequest("LoadFile", photo),
       refused, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool closed = false;
    EXPECT_EQ(SendRaw(SocketPath(), c.bytes, c.replies.size(), closed), c.replies);
    EXPECT_EQ(closed, c.closed);
  }
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(Keys(), std::vector<std::string>{"photo"});
  // The program still serves.
  EXPECT_EQ(Request(QString::fromStdString(photo)), TSendResult::kAccepted);
  EXPECT_EQ(form.KES().Count(), 2);
}

TEST_F(ShellIntegrationTest, TheProgramCalledWithFilesHandsThemToTheRunningOne) {
  TRequestServer running(RequestSocketPath(QStringLiteral("stillkeep")),
                         QStringLiteral("LoadFile"));
  ASSERT_EQ(running.Listen(), TRequestServer::TListen::kListening);
  std::vector<QStringList> received;
  bool take = true;
  running.OnExecute = [&](const QStringList& lines) {
    received.push_back(lines);
    return take;
  };
  const auto call = [&](const QStringList& arguments) {
    QProcess client;
    client.setWorkingDirectory(Path(QString()));
    client.start(QStringLiteral(SK_STILLKEEP_PATH), arguments);
    EXPECT_TRUE(client.waitForStarted());
    while (client.state() != QProcess::NotRunning) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      client.waitForFinished(5);
    }
    return client.exitCode();
  };
  // Relative names are made absolute: the running program has its own working folder.
  EXPECT_EQ(call({QStringLiteral("a.jpg"), Path(QStringLiteral("b c.gif"))}), 0);
  EXPECT_EQ(received, (std::vector<QStringList>{{Path(QStringLiteral("a.jpg"))},
                                                {Path(QStringLiteral("b c.gif"))}}));
  take = false;
  EXPECT_EQ(call({QStringLiteral("c.jpg")}), 1);
}

TEST_F(ShellIntegrationTest, TheNautilusScriptPassesOnOnlyThePicturesAllAtOnce) {
  // The program the script runs records its arguments; its folder's name needs quoting.
  QDir(Path(QString())).mkpath(QStringLiteral("it's here"));
  const QString program = Path(QStringLiteral("it's here/record"));
  const QString record = Path(QStringLiteral("arguments.txt"));
  {
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '%1'\n").arg(record).toUtf8());
  }
  QFile::setPermissions(program,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  TRegistry classes(TRegistry::ClassesRootPath(), TRegRoot::kClassesRoot);
  for (const char* extension : kShellExtensions) RegisterDDE(classes, Text(extension), program);
  ProjectVerb(classes, DataHome(), program);
  const QString script = ProjectionFiles(DataHome())[0];
  RunTool(script,
          {QStringLiteral("/p/a.jpg"), QStringLiteral("/p/notes.txt"), QStringLiteral("/p/B.JPEG"),
           QStringLiteral("/p/c d.Gif"), QStringLiteral("/p/e.bmp.zip")});
  EXPECT_EQ(ReadAll(record), QStringLiteral("3\n/p/a.jpg\n/p/B.JPEG\n/p/c d.Gif\n"));
  // The desktop entries quote the program for their Exec key.
  EXPECT_TRUE(ReadAll(ProjectionFiles(DataHome())[2])
                  .contains(QStringLiteral("Exec=\"") + program + QStringLiteral("\" %F")));
  // Nothing is run for files that are no pictures.
  QFile::remove(record);
  RunTool(script, {QStringLiteral("/p/notes.txt")});
  EXPECT_FALSE(QFileInfo::exists(record));
  RemoveProjection(DataHome());
  for (const QString& file : ProjectionFiles(DataHome())) EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(ShellIntegrationTest, CalledWhenNoProgramRunsItStartsTakesTheFilesAndCleansUpAtItsEnd) {
  MakeStoreTheProgramReopens();
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  QProcess program;
  StartProgram(program, {photo});
  ASSERT_TRUE(program.waitForStarted());
  // A second call, as a second choice in the file manager, finds it running.
  const std::string socket =
      QFile::encodeName(RequestSocketPath(QStringLiteral("stillkeep"))).toStdString();
  TSendResult second = TSendResult::kNoServer;
  for (int attempt = 0; attempt < 600 && second == TSendResult::kNoServer; ++attempt) {
    if (program.waitForFinished(50)) break;
    second = SendRequests(socket, "LoadFile", {photo.toStdString()}, 10000);
  }
  ASSERT_EQ(second, TSendResult::kAccepted) << program.readAllStandardError().toStdString();
  const QStringList files = ProjectionFiles(DataHome());
  for (const QString& file : files) EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();

  // Ended as a logout ends it: the store is written back and the verb removed.
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  std::vector<std::string> keys = StoreKeys(store_);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"kept", "photo", "photo (1)"}));
  for (const QString& file : files) EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
  EXPECT_FALSE(KeyExists(QStringLiteral("\\Stillkeep")));
  EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(socket.c_str())));
}

TEST_F(ShellIntegrationTest, AProgramKilledWhileAddingLosesNothingItFlushed) {
  // The program takes a long list of pictures from the file manager and is killed (SIGKILL) once
  // the first of them is flushed; the next open recovers every picture it flushed.
  MakeStoreTheProgramReopens();
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  QStringList photos;
  for (int i = 0; i < 200; ++i) photos << photo;
  const QString tmp = QString::fromLocal8Bit(qgetenv("TMPDIR"));
  QProcess program;
  StartProgram(program, photos);
  ASSERT_TRUE(program.waitForStarted());
  ASSERT_TRUE(WaitForJournal(tmp)) << program.readAllStandardError().toStdString();
  program.kill();
  ASSERT_TRUE(program.waitForFinished(60000));

  TKES store;
  int asked = 0;
  store.OnStaleSession = [&asked](TKES&, const TStaleSessionInfo& session) {
    ++asked;
    EXPECT_GE(session.added, 1);
    EXPECT_EQ(session.deleted, 0);
    return TStaleChoice::kRecover;
  };
  store.SetFileName(store_.toStdString());
  EXPECT_EQ(asked, 1);
  ASSERT_GE(store.Count(), 2);
  EXPECT_TRUE(store.FindKey("kept"));
  // Every recovered picture is the photo as the program stores it: the same bytes each time.
  std::optional<std::vector<uint8_t>> first;
  for (int i = 0; i < store.Count(); ++i) {
    if (store.KeyAt(i) == "kept") continue;
    store.MoveTo(i);
    TMemoryStream item;
    store.GetItem(item);
    const std::vector<uint8_t> bytes(item.Bytes().begin(), item.Bytes().end());
    if (!first) first = bytes;
    EXPECT_TRUE(bytes == *first) << store.KeyAt(i);
  }
  ASSERT_TRUE(first.has_value());
  EXPECT_GT(first->size(), 100u);
  store.SetFileName("");
  EXPECT_TRUE(QDir(tmp).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace sk::test
