// The receiving side of the requests between running programs: a Unix socket only its owner can
// reach, in the user's runtime folder, that takes framed requests of one topic and hands each
// request's text, split into lines, to the program on its event loop.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace sk {

// The service name of a program: its executable's file name up to the first ".".
QString ServiceName(const QString& executable_path);
// The socket of a service: "$XDG_RUNTIME_DIR/<service>" (Qt's runtime folder, which falls back to
// a folder of the user's own under /tmp when the variable is unset), taken at each call.
QString RequestSocketPath(const QString& service);

class TRequestServer : public QObject {
  Q_OBJECT

 public:
  enum class TListen {
    kListening,      // this server takes the requests
    kOtherInstance,  // a running program already answers at the path; nothing was changed
    kFailed,         // the socket could not be made (the reason is in ErrorText())
  };

  // At most this many connections are served at once; more are closed at once.
  static constexpr int kMaxConnections = 32;

  // socket_path: where to listen; topic: the only topic accepted.
  TRequestServer(QString socket_path, QString topic, QObject* parent = nullptr);
  ~TRequestServer() override;

  // Called on the event loop once per valid request, with its lines. Returns whether the request
  // was taken; the sender is told so. Unset, every request is refused.
  std::function<bool(const QStringList& lines)> OnExecute;

  // Listens at the path, mode owner-only. A socket file left by a program that ended without
  // closing it (nothing answers a connection) is replaced; anything else at the path that is not
  // a socket is left alone and the listen fails.
  TListen Listen();
  // Stops listening, drops every connection and removes the socket file.
  void Close();
  bool IsListening() const;
  const QString& SocketPath() const { return socket_path_; }
  const QString& ErrorText() const { return error_text_; }

 private:
  struct TConnection;
  void Accept();
  void Read(QLocalSocket* socket);
  void Drop(QLocalSocket* socket);

  QString socket_path_;
  QString topic_;
  QString error_text_;
  std::unique_ptr<QLocalServer> server_;
  std::vector<std::unique_ptr<TConnection>> connections_;
};

}  // namespace sk
