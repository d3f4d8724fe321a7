// vx8-dockdefs: makes a dock definition file listing network docks, for the demo and the
// screenshot script.
//
//   vx8-dockdefs [--discovery-address ADDRESS] FILE ADDRESS[=MODE] ...
//
// MODE is LIVE (default), LISTENING or DISABLED. The docks get the serials 10001, 10002, ... in the
// order given (the simulator's defaults). --discovery-address writes the address the program's
// discovery round is sent to (the registry value "DiscoveryBroadcastAddress" of the program key),
// so that a demo on simulated docks sends it to the simulator on loopback.
#include "app/dockdefs/DockDefDatabase.h"
#include "common/Registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args.first() == QLatin1String("--discovery-address")) {
        if (!vx8::WriteRegistryString(vx8::RegKey::Program, QStringLiteral("DiscoveryBroadcastAddress"), args[1])) {
            std::fprintf(stderr, "vx8-dockdefs: cannot write the registry file %s\n",
                         qPrintable(vx8::Registry::defaultPath()));
            return 1;
        }
        args = args.mid(2);
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: vx8-dockdefs [--discovery-address ADDRESS] FILE ADDRESS[=MODE] ...\n");
        return 2;
    }
    const QString path = args.first();
    QFile::remove(path);
    QString error;
    if (!vx8::DockDefDatabase::create(path, vx8::DockDefDatabase::SchemaVersion, &error)) {
        std::fprintf(stderr, "vx8-dockdefs: %s\n", qPrintable(error));
        return 1;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tool"));
        db.setDatabaseName(path);
        ok = db.open();
        int serial = 10001;
        for (const QString& a : args.mid(1)) {
            const QString address = a.section(u'=', 0, 0);
            const QString mode = a.contains(u'=') ? a.section(u'=', 1).toUpper() : QStringLiteral("LIVE");
            QSqlQuery q(db);
            q.prepare(QStringLiteral("INSERT INTO DockDef (DockSerialNum, DockType, \"IP Address\", "
                                     "\"Network Connection\", Alias, UpdateDockName) VALUES (?, 15, ?, ?, ?, 0)"));
            q.addBindValue(QString::number(serial));
            q.addBindValue(address);
            q.addBindValue(mode);
            q.addBindValue(QStringLiteral("Bay %1").arg(serial - 10000));
            ++serial;
            if (!q.exec()) {
                std::fprintf(stderr, "vx8-dockdefs: %s\n", qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tool"));
    return ok ? 0 : 1;
}
