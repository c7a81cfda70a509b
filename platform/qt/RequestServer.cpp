// The request socket: listening, replacing a stale socket file, reassembling frames and checking
// them before the program sees them.
#include "platform/qt/RequestServer.h"

#include <sys/stat.h>
#include <sys/un.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <algorithm>
#include <string>

#include "platform/RequestFrame.h"

namespace sk {

namespace {

// How long a probe of an existing socket file waits for a program to answer.
constexpr int kProbeMilliseconds = 1000;

}  // namespace

struct TRequestServer::TConnection {
  QLocalSocket* socket;  // owned by the server object, deleted later on the event loop
  TRequestFramer framer;
};

QString ServiceName(const QString& executable_path) {
  return QFileInfo(executable_path).fileName().section(u'.', 0, 0);
}

QString RequestSocketPath(const QString& service) {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + u'/' + service;
}

TRequestServer::TRequestServer(QString socket_path, QString topic, QObject* parent)
    : QObject(parent), socket_path_(std::move(socket_path)), topic_(std::move(topic)) {}

TRequestServer::~TRequestServer() {
  Close();
}

bool TRequestServer::IsListening() const {
  return server_ != nullptr && server_->isListening();
}

TRequestServer::TListen TRequestServer::Listen() {
  Close();
  error_text_.clear();
  const QByteArray native = QFile::encodeName(socket_path_);
  if (native.isEmpty() || static_cast<size_t>(native.size()) >= sizeof(sockaddr_un::sun_path)) {
    error_text_ = QStringLiteral("The socket path %1 is too long").arg(socket_path_);
    return TListen::kFailed;
  }
  struct stat status {};
  if (::lstat(native.constData(), &status) == 0) {
    if (!S_ISSOCK(status.st_mode)) {
      error_text_ = QStringLiteral("%1 is in the way of the program's socket").arg(socket_path_);
      return TListen::kFailed;
    }
    QLocalSocket probe;
    probe.connectToServer(socket_path_);
    if (probe.waitForConnected(kProbeMilliseconds)) {
      probe.disconnectFromServer();
      return TListen::kOtherInstance;
    }
    // Nothing answers: the socket of a program that ended without closing it.
    QLocalServer::removeServer(socket_path_);
  }
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  server->setMaxPendingConnections(kMaxConnections);
  if (!server->listen(socket_path_)) {
    error_text_ = server->errorString();
    return TListen::kFailed;
  }
  connect(server.get(), &QLocalServer::newConnection, this, [this] { Accept(); });
  server_ = std::move(server);
  return TListen::kListening;
}

void TRequestServer::Close() {
  for (const std::unique_ptr<TConnection>& connection : connections_) {
    connection->socket->disconnect(this);
    connection->socket->abort();
    connection->socket->deleteLater();
  }
  connections_.clear();
  if (server_ != nullptr) {
    server_->close();  // removes the socket file
    server_.reset();
  }
}

void TRequestServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (connections_.size() >= static_cast<size_t>(kMaxConnections)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    connections_.push_back(std::make_unique<TConnection>(TConnection{socket, {}}));
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Drop(socket); });
    // Bytes may have come with the connection.
    if (socket->bytesAvailable() > 0) Read(socket);
  }
}

void TRequestServer::Read(QLocalSocket* socket) {
  auto found = std::find_if(connections_.begin(), connections_.end(),
                            [socket](const auto& c) { return c->socket == socket; });
  if (found == connections_.end()) return;
  TRequestFramer& framer = (*found)->framer;
  // Read no more than one frame's worth at a time, so a sender cannot make the buffer grow.
  const QByteArray bytes = socket->read(kMaxRequestBytes + kFrameHeaderBytes);
  framer.Append(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  std::string topic;
  std::string text;
  for (;;) {
    const TRequestFramer::TNext next = framer.Take(topic, text);
    if (next == TRequestFramer::TNext::kIncomplete) break;
    if (next == TRequestFramer::TNext::kOversized) {
      socket->write(&kReplyRefused, 1);
      socket->flush();
      socket->disconnectFromServer();
      return;
    }
    bool taken = false;
    if (next == TRequestFramer::TNext::kRequest && IsValidUtf8(topic) && IsValidUtf8(text) &&
        text.find('\0') == std::string::npos && QString::fromStdString(topic) == topic_) {
      QStringList lines;
      for (const std::string& line : SplitRequestLines(text)) {
        lines.append(QString::fromStdString(line));
      }
      taken = OnExecute && OnExecute(lines);
    }
    // The handler may have closed the server, and with it this connection.
    if (std::none_of(connections_.begin(), connections_.end(),
                     [socket](const auto& c) { return c->socket == socket; })) {
      return;
    }
    socket->write(taken ? &kReplyAccepted : &kReplyRefused, 1);
  }
  socket->flush();
  // More may be waiting beyond what one read took.
  if (socket->bytesAvailable() > 0) {
    QMetaObject::invokeMethod(
        this, [this, socket] { Read(socket); }, Qt::QueuedConnection);
  }
}

void TRequestServer::Drop(QLocalSocket* socket) {
  auto found = std::find_if(connections_.begin(), connections_.end(),
                            [socket](const auto& c) { return c->socket == socket; });
  if (found == connections_.end()) return;
  connections_.erase(found);
  socket->disconnect(this);
  socket->deleteLater();
}

}  // namespace sk
