#pragma once
// Byte strings (file names, torrent texts) and the Qt texts that show them;
// plus the small helper that gives a control its design name.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

#include "base/Path.h"
#include "base/Text.h"

inline QString ShowName(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

inline std::string NameBytes(const QString& name) {
  const QByteArray bytes = QFile::encodeName(name);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Torrent and settings texts are shown as UTF-8.
inline QString Utf8Text(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string Bytes(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
inline std::string Utf8Bytes(const QString& text) { return Bytes(text.toUtf8()); }
inline QByteArray ToByteArray(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Gives a control its design name as Qt object name, so tests find it.
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}
