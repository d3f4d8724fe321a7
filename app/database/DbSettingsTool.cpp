// vx8-dbsettings: writes the results-database settings into the registry file (VX8_REGISTRY, else
// the machine-wide default) as the administration program does, with the password stored
// encrypted. Used by the demo script and by tests that start the program.
//
//   vx8-dbsettings --env build/demo-db/connection.env
//   vx8-dbsettings --server 127.0.0.1 --port 5432 --database vx8 --user vx8 --password secret

#include "common/CalderCryptor.h"
#include "common/Registry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QTextStream>

using namespace vx8;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes the results-database settings into the registry file."));
    parser.addHelpOption();
    const QCommandLineOption env(QStringLiteral("env"), QStringLiteral("connection.env of scripts/pg-cluster"), QStringLiteral("file"));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("server name"), QStringLiteral("name"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("server port"), QStringLiteral("port"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("database name"), QStringLiteral("name"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("user name"), QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("password (stored encrypted)"), QStringLiteral("text"));
    parser.addOptions({env, server, port, database, user, password});
    parser.process(app);

    QHash<QString, QString> v;
    if (parser.isSet(env)) {
        QFile f(parser.value(env));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream(stderr) << "vx8-dbsettings: cannot read " << f.fileName() << "\n";
            return 1;
        }
        const QHash<QString, QString> names = {
            {QStringLiteral("VX8_DB_HOST"), QStringLiteral("ServerName")},
            {QStringLiteral("VX8_DB_PORT"), QStringLiteral("ServerPort")},
            {QStringLiteral("VX8_DB_NAME"), QStringLiteral("DatabaseName")},
            {QStringLiteral("VX8_DB_USER"), QStringLiteral("UserName")},
            {QStringLiteral("VX8_DB_PASSWORD"), QStringLiteral("Password")},
        };
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            const int eq = int(line.indexOf(u'='));
            if (eq > 0 && names.contains(line.left(eq))) {
                v.insert(names.value(line.left(eq)), line.mid(eq + 1));
            }
        }
    }
    const QList<QPair<QCommandLineOption, QString>> options = {
        {server, QStringLiteral("ServerName")}, {port, QStringLiteral("ServerPort")},
        {database, QStringLiteral("DatabaseName")}, {user, QStringLiteral("UserName")},
        {password, QStringLiteral("Password")},
    };
    for (const auto& [option, name] : options) {
        if (parser.isSet(option)) {
            v.insert(name, parser.value(option));
        }
    }
    if (v.isEmpty()) {
        parser.showHelp(2);
    }
    for (auto it = v.cbegin(); it != v.cend(); ++it) {
        const QString text = it.key() == QLatin1String("Password")
                                 ? TCalderCryptor::EncryptPassword(it.value(), TCalderCryptor::Passphrase)
                                 : it.value();
        if (!WriteRegistryString(RegKey::Database, it.key(), text)) {
            QTextStream(stderr) << "vx8-dbsettings: cannot write " << Registry::defaultPath() << "\n";
            return 1;
        }
    }
    QTextStream(stdout) << "vx8-dbsettings: database settings written to " << Registry::defaultPath() << "\n";
    return 0;
}
