#include "GuiViewer/src/host/PreferencesIF.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>

namespace {

QString DefaultOf(const QString& name) {
    if (name == "Viewer Highlight Type") return "Face Highlight";
    return {};
}

QSettings& Store() {
    static QSettings settings("QOR", "GuiViewer");
    return settings;
}

}  // namespace

PreferencesIF* PreferencesIF::instance() {
    static PreferencesIF prefs;
    return &prefs;
}

QString PreferencesIF::getPrefValue(const QString& name, bool expand) const {
    QString value = Store().value(name, DefaultOf(name)).toString();
    if (expand) {
        static const QRegularExpression ref("\\$([A-Za-z_][A-Za-z0-9_]*)");
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QString out;
        int at = 0;
        for (auto it = ref.globalMatch(value); it.hasNext();) {
            const auto m = it.next();
            out += value.mid(at, m.capturedStart() - at) + env.value(m.captured(1));
            at = m.capturedEnd();
        }
        value = out + value.mid(at);
    }
    return value;
}

void PreferencesIF::setPrefValue(const QString& name, const QString& value) { Store().setValue(name, value); }
