#pragma once
// Separated lists of texts and ordered sets of them.
#include <QChar>
#include <QString>
#include <set>

class QStringSetUtils {
public:
    // Entries trimmed; empty entries are dropped.
    static std::set<QString> qStringToQStringSet(const QString& text, QChar separator);
    // Entries in set order, joined by the separator and a blank.
    static QString qStringSetToQString(const std::set<QString>& set, QChar separator);
};
