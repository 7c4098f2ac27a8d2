#pragma once
// The host's user preferences, kept with QSettings.
#include <QString>

class PreferencesIF {
public:
    static PreferencesIF* instance();

    // The stored value, or the built-in default of the preference (empty
    // when it has none).  With expand, "$NAME" environment references in
    // the value are replaced.
    QString getPrefValue(const QString& name, bool expand) const;
    void setPrefValue(const QString& name, const QString& value);

private:
    PreferencesIF() = default;
};
