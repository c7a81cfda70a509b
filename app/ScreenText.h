// The program's texts and file names between the C++ side (UTF-8 messages, file names as the
// system's bytes) and Qt's strings.
#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace sk {

// One of the program's fixed texts (app/Messages.h, UTF-8) as a string for the screen.
inline QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// A path as the file system's bytes, and back.
inline std::string FileNameBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}
inline QString FileNameText(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace sk
