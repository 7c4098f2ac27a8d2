#pragma once
// The host's configuration store: the icon directory and the icons of the
// viewer's tool bars, captions and menus.  The icons are drawn here; the
// icon directory holds them as ".xpm" files for code that loads icons by
// file name.
#include <QIcon>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QStringList>

class ConfigStoreBase {
public:
    static ConfigStoreBase* baseInstance();

    // The icon directory with a trailing "/"; its files are written on the
    // first call.
    QString getIconPath();
    // The icon of a file name such as "layout3.xpm"; an unknown name gives
    // a labelled placeholder, never a null pixmap.
    QPixmap getPixmap(const QString& fileName);
    QIcon getIcon(const QString& name);
    // The icon file name for an object type ("DOMAIN" gives "domain.xpm").
    QString getIconForType(const QString& objectType, bool open);
    // Every icon name the store draws.
    static QStringList knownIcons();

private:
    ConfigStoreBase() = default;
    QMap<QString, QPixmap> cache_;
    QString iconDir_;
};
