#include "GuiViewer/src/host/QStringSetUtils.h"

#include <QStringList>

std::set<QString> QStringSetUtils::qStringToQStringSet(const QString& text, QChar separator) {
    std::set<QString> out;
    for (const QString& entry : text.split(separator)) {
        const QString e = entry.trimmed();
        if (!e.isEmpty()) out.insert(e);
    }
    return out;
}

QString QStringSetUtils::qStringSetToQString(const std::set<QString>& set, QChar separator) {
    QString out;
    for (const QString& e : set) {
        if (!out.isEmpty()) out += separator + QString(" ");
        out += e;
    }
    return out;
}
