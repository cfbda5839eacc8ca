// Conversions between the system's text and Qt's strings, at the window's edge only.
#pragma once

#include <QString>

#include "text/codepage.h"
#include "text/text.h"

namespace ravelkin {

inline QString toQString(const Text& text) {
  const std::string utf8 = textToUtf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline Text toText(const QString& s) {
  const QByteArray utf8 = s.toUtf8();
  return utf8ToText(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace ravelkin
