#pragma once
// Byte-string file names and the Qt texts that show them.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

inline QString ShowName(const std::string& bytes) { return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))); }

inline std::string NameBytes(const QString& name) {
  const QByteArray bytes = QFile::encodeName(name);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

inline std::string Bytes(const QByteArray& bytes) { return std::string(bytes.constData(), static_cast<size_t>(bytes.size())); }
inline QByteArray ToByteArray(const std::string& bytes) { return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())); }

// Names sorted without regard to ASCII case; equal ones in byte order.
bool LessNoCase(const std::string& a, const std::string& b);

// folder + "/" + name, the separator not doubled after "/".
std::string JoinPath(const std::string& folder, const std::string& name);
