#include "GuiViewer/src/host/PDLPath.h"

#include "GuiViewer/src/host/QStringUtils.h"

namespace qor {

PDLPath::PDLPath(const QString& text) {
    for (const QString& part : text.split('/', Qt::SkipEmptyParts)) {
        const QString e = part.trimmed();
        if (!e.isEmpty()) elements_ << e;
    }
}

QString PDLPath::getFullPath() const { return elements_.isEmpty() ? QString() : "/" + elements_.join('/'); }

QString PDLPath::getLastName() const {
    if (elements_.isEmpty()) return {};
    QString type, name;
    QStringUtils::splitObjectTypeAndName(elements_.last(), type, name);
    return name;
}

QString PDLPath::getLastType() const {
    if (elements_.isEmpty()) return {};
    QString type, name;
    QStringUtils::splitObjectTypeAndName(elements_.last(), type, name);
    return type;
}

}  // namespace qor
