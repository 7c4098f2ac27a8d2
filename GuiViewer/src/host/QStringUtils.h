#pragma once
// Text helpers for command-language paths, object blocks and lists.  A path
// is "/" followed by TYPE, a colon and the object name, nested with "/".
#include <QString>

class QStringUtils {
public:
    // Name and type of the last path element: "/A:a/VIEW:View 1" gives
    // "View 1" and "VIEW"; an element without a colon is a type alone.
    static QString getNameFromPath(const QString& path);
    static QString getTypeFromPath(const QString& path);
    // "/A:a/B:b" gives "/A:a" and "B:b"; a one-element path gives "" and it.
    static void splitRelativePathName(const QString& path, QString& parentPath, QString& lastElement);
    // "B:b" gives "B" and "b" (the name may hold further colons).
    static void splitObjectTypeAndName(const QString& element, QString& type, QString& name);
    // "true", "yes", "on" and "1" in any letter case.
    static bool isTrue(const QString& text);
    static QString stringFromBool(bool value);  // "True" / "False"
    // An object block for path: one line per path element ("TYPE:name", or
    // "TYPE:" for an element without a name), the body's lines indented
    // below the last, and one "END" per element.
    static QString constructObjPDL(const QString& path, const QString& body);
    // Whether item is one of the comma-separated entries of list (entries
    // trimmed); caseSensitive off compares ignoring letter case.
    static bool isInList(const QString& list, const QString& item, bool caseSensitive);
};
