#include "UNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QStringList>

#include <utility>

#ifndef QUILLON_NETWORK_MODULE_DIR
#define QUILLON_NETWORK_MODULE_DIR "."
#endif

namespace {

const TNetwork_Services *Linked_Services = nullptr;

std::pair<const TNetwork_Services *, QString> Load_Network_Module()
{
    // Beside the program (its build tree, the Windows folder), else where an installed copy keeps it.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList dirs = {programDir, QDir::cleanPath(programDir + u'/' + QStringLiteral(QUILLON_NETWORK_MODULE_DIR))};
    QStringList failures;
    for (const QString &dir : dirs) {
        QLibrary module(dir + u'/' + QLatin1StringView(Network_Module_Name));
        // Never unloaded: its objects live as long as the program.
        if (!module.load()) {
            failures << module.errorString();
            continue;
        }
        using TEntry = const TNetwork_Services *(*)();
        if (const auto entry = reinterpret_cast<TEntry>(module.resolve(Network_Module_Entry)))
            return {entry(), QString()};
        failures << module.errorString();
    }
    failures.removeDuplicates();
    return {nullptr, QStringLiteral("the network module cannot be loaded: ") + failures.join(QStringLiteral("; "))};
}

} // namespace

void Use_Network_Services(const TNetwork_Services *services)
{
    Linked_Services = services;
}

const TNetwork_Services *Network_Services(QString *reason)
{
    if (Linked_Services)
        return Linked_Services;
    static const std::pair<const TNetwork_Services *, QString> loaded = Load_Network_Module();
    if (!loaded.first && reason)
        *reason = loaded.second;
    return loaded.first;
}
