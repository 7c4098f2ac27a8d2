#pragma once
// A path of command-language objects: "/" followed by elements TYPE:name
// (or a bare TYPE such as "VIEWPORT MANAGER"), nested with "/".
#include <QString>
#include <QStringList>

namespace qor {

class PDLPath {
public:
    PDLPath() = default;
    explicit PDLPath(const QString& text);
    PDLPath(const PDLPath&) = default;
    PDLPath& operator=(const PDLPath&) = default;

    // The whole path, always beginning with "/" (empty for an empty path).
    QString getFullPath() const;
    // Name and type of the last element ("" when it has none).
    QString getLastName() const;
    QString getLastType() const;
    const QStringList& elements() const { return elements_; }
    bool isEmpty() const { return elements_.isEmpty(); }
    bool operator==(const PDLPath& other) const { return elements_ == other.elements_; }
    bool operator<(const PDLPath& other) const { return getFullPath() < other.getFullPath(); }

private:
    QStringList elements_;
};

}  // namespace qor
