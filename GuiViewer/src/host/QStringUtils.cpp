#include "GuiViewer/src/host/QStringUtils.h"

#include <QStringList>

namespace {

QString LastElement(const QString& path) {
    const QStringList parts = path.split('/', Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.last().trimmed();
}

}  // namespace

QString QStringUtils::getNameFromPath(const QString& path) {
    QString type, name;
    splitObjectTypeAndName(LastElement(path), type, name);
    return name;
}

QString QStringUtils::getTypeFromPath(const QString& path) {
    QString type, name;
    splitObjectTypeAndName(LastElement(path), type, name);
    return type;
}

void QStringUtils::splitRelativePathName(const QString& path, QString& parentPath, QString& lastElement) {
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    lastElement = parts.isEmpty() ? QString() : parts.takeLast();
    parentPath = parts.isEmpty() ? QString() : "/" + parts.join('/');
}

void QStringUtils::splitObjectTypeAndName(const QString& element, QString& type, QString& name) {
    const int colon = element.indexOf(':');
    if (colon < 0) {
        type = element;
        name.clear();
    } else {
        type = element.left(colon);
        name = element.mid(colon + 1);
    }
}

bool QStringUtils::isTrue(const QString& text) {
    const QString t = text.trimmed().toLower();
    return t == "true" || t == "yes" || t == "on" || t == "1";
}

QString QStringUtils::stringFromBool(bool value) { return value ? "True" : "False"; }

QString QStringUtils::constructObjPDL(const QString& path, const QString& body) {
    const QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString out;
    for (int i = 0; i < parts.size(); ++i) out += QString(2 * i, ' ') + parts[i] + (parts[i].contains(':') ? "\n" : ":\n");
    const QString indent(2 * parts.size(), ' ');
    for (const QString& line : body.split('\n', Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty()) out += indent + line.trimmed() + "\n";
    for (int i = parts.size() - 1; i >= 0; --i) out += QString(2 * i, ' ') + "END\n";
    return out;
}

bool QStringUtils::isInList(const QString& list, const QString& item, bool caseSensitive) {
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QString wanted = item.trimmed();
    for (const QString& entry : list.split(','))
        if (entry.trimmed().compare(wanted, cs) == 0) return true;
    return false;
}
