#pragma once
// Queries of the engine process's command-language objects.
#include <QMap>
#include <QString>
#include <QStringList>

class EngineInterface {
public:
    virtual ~EngineInterface();
    // The engine process of this program, or none before one exists.
    static EngineInterface* instance();

    // A parameter's value as text; empty when the object or the parameter
    // does not exist.
    virtual QString getParameter(const QString& objectPath, const QString& name) = 0;
    // Every parameter of an object, by name.  With all, parameters that
    // were never set explicitly are included with their defaults.
    virtual QMap<QString, QString> getParameters(const QString& objectPath, bool all) = 0;
    // Names of the top-level objects of a type ("VIEW", "DOMAIN").
    virtual QStringList getObjectNames(const QString& objectType) = 0;

protected:
    EngineInterface();
};
