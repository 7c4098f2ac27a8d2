#pragma once
// Conversions of 8- and 16-bit strings and translatable user messages.
#include <QCoreApplication>
#include <QString>
#include <string>

namespace qor {

inline QString MakeQString(const char* text) { return QString::fromUtf8(text ? text : ""); }
inline QString MakeQString(const std::string& text) { return QString::fromStdString(text); }
inline QString MakeQString(const char16_t* text) { return text ? QString::fromUtf16(text) : QString(); }
inline QString MakeQString(const std::u16string& text) { return QString::fromStdU16String(text); }

// A message for the user, translated when a translation is installed.
inline QString QUserMsg(const char* text) { return QCoreApplication::translate("QUserMsg", text); }

}  // namespace qor
