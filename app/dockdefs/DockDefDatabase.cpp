#include "DockDefDatabase.h"

#include "common/Formatting.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Trace.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <utility>

namespace vx8 {

namespace {

void trace(const QString& text)
{
    LocalDebugString(text, lcDb());
}

const QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// One connection for one operation: opened on an existing file only, removed when it goes.
class Connection
{
public:
    explicit Connection(const QString& path, bool mayCreate = false)
    {
        static QAtomicInt counter;
        m_name = QStringLiteral("vx8-dockdefs-%1").arg(counter.fetchAndAddRelaxed(1));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("mode"), mayCreate ? QStringLiteral("rwc") : QStringLiteral("rw"));
        url.setQuery(query);
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        m_ok = db.open();
        if (!m_ok) {
            m_error = db.lastError().text();
            trace(QStringLiteral("DockDefDatabase - cannot open %1: %2").arg(path, m_error));
        } else {
            QFile::setPermissions(path, OwnerOnly);
        }
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen()) {
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_ok; }
    const QString& error() const { return m_error; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Prepares and runs a statement with its values bound in order.
    bool exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {})
    {
        query = QSqlQuery(db());
        if (!query.prepare(sql)) {
            trace(QStringLiteral("DockDefDatabase - ") + sql + QStringLiteral(": ") + query.lastError().text());
            return false;
        }
        for (const QVariant& v : values) {
            query.addBindValue(v);
        }
        if (!query.exec()) {
            trace(QStringLiteral("DockDefDatabase - ") + sql + QStringLiteral(": ") + query.lastError().text());
            return false;
        }
        return true;
    }

private:
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

bool usableAddress(QString& address)
{
    return CheckIPAddress(address) && address != QLatin1String("0.0.0.0");
}

// Addresses of the rows in the given mode, in serial order, each address once.
std::optional<QStringList> addressesOf(Connection& c, const QString& mode)
{
    QSqlQuery q;
    if (!c.exec(q,
                QStringLiteral("SELECT \"IP Address\" FROM DockDef WHERE \"Network Connection\" = ? "
                               "COLLATE NOCASE ORDER BY DockSerialNum"),
                {mode})) {
        return std::nullopt;
    }
    QStringList list;
    while (q.next()) {
        QString address = q.value(0).toString().trimmed();
        if (!usableAddress(address)) {
            trace(QStringLiteral("DockDefDatabase - %1 row with address \"%2\" skipped").arg(mode, q.value(0).toString()));
            continue;
        }
        if (list.contains(address)) {
            trace(QStringLiteral("DockDefDatabase - second %1 row for %2 skipped").arg(mode, address));
            continue;
        }
        list.append(address);
    }
    return list;
}

} // namespace

QString DockDefDatabase::defaultFolder()
{
    return programPath(QStringLiteral("DockSetup"));
}

QString DockDefDatabase::defaultPath()
{
    return programPath(QStringLiteral("DockSetup/DockSetup.db"));
}

DockDefDatabase::DockDefDatabase(QString path) : m_path(std::move(path)) {}

bool DockDefDatabase::folderExists() const
{
    return QFileInfo(QFileInfo(m_path).absolutePath()).isDir();
}

bool DockDefDatabase::fileExists() const
{
    return QFileInfo(m_path).isFile();
}

bool DockDefDatabase::create(const QString& path, int schemaVersion, QString* error)
{
    if (QFileInfo::exists(path)) {
        if (error) {
            *error = QStringLiteral("file exists: ") + path;
        }
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    Connection c(path, true);
    if (!c.ok()) {
        if (error) {
            *error = c.error();
        }
        return false;
    }
    QString dockDef = QStringLiteral(
        "CREATE TABLE DockDef (DockSerialNum TEXT COLLATE NOCASE, DockType INTEGER, "
        "\"IP Address\" TEXT COLLATE NOCASE, \"Network Connection\" TEXT COLLATE NOCASE, "
        "Alias TEXT COLLATE NOCASE");
    if (schemaVersion >= 2) {
        dockDef += QStringLiteral(", UpdateDockName INTEGER DEFAULT 0");
    }
    dockDef += QLatin1Char(')');
    QSqlQuery q;
    const bool ok = c.exec(q, dockDef)
                    && c.exec(q, QStringLiteral("CREATE TABLE db_version (db_version INTEGER, information TEXT COLLATE NOCASE)"))
                    && c.exec(q, QStringLiteral("INSERT INTO db_version (db_version, information) VALUES (?, ?)"),
                              {schemaVersion, QStringLiteral("Dock definitions, version %1").arg(schemaVersion)});
    if (!ok && error) {
        *error = q.lastError().text();
    }
    QFile::setPermissions(path, OwnerOnly);
    return ok;
}

bool DockDefDatabase::UpdateDockDatabase(bool networkDocksEnabled, QString* statusText,
                                         const QString& dateTimeFormat)
{
    LocalDebugString(QStringLiteral("TfrmMain.UpdateDockDatabase"), lcApp());
    if (!networkDocksEnabled) {
        return true;
    }
    const QString failed = QStringLiteral("Dock Setup Database Update Failed!!!!");
    Connection c(m_path);
    if (!c.ok()) {
        if (statusText) {
            *statusText = failed;
        }
        return false;
    }
    QSqlQuery q;
    if (!c.exec(q, QStringLiteral("SELECT db_version FROM db_version"))) {
        if (statusText) {
            *statusText = failed;
        }
        return false;
    }
    if (!q.next()) {
        return true;
    }
    const int version = q.value(0).toInt();
    q.finish();
    if (version >= 2) {
        return true;
    }
    QSqlDatabase db = c.db();
    db.transaction();
    bool hasColumn = false;
    if (c.exec(q, QStringLiteral("PRAGMA table_info(dockdef)"))) {
        while (q.next()) {
            hasColumn |= q.value(1).toString().compare(QLatin1String("UpdateDockName"), Qt::CaseInsensitive) == 0;
        }
    }
    const QString format = dateTimeFormat.isEmpty() ? QLocale().dateTimeFormat(QLocale::ShortFormat) : dateTimeFormat;
    const QString line = QStringLiteral("\r\n") + QLocale().toString(QDateTime::currentDateTime(), format)
                         + QStringLiteral(": Updated database to version 2");
    const bool ok =
        (hasColumn || c.exec(q, QStringLiteral("ALTER TABLE dockdef ADD COLUMN UpdateDockName integer DEFAULT 0")))
        && c.exec(q, QStringLiteral("UPDATE dockdef SET UpdateDockName = 0"))
        && c.exec(q, QStringLiteral("UPDATE db_version SET db_version = ?, information = COALESCE(information, '') || ?"),
                  {2, line});
    if (!ok) {
        db.rollback();
        if (statusText) {
            *statusText = failed;
        }
        return false;
    }
    db.commit();
    return true;
}

bool DockDefDatabase::LoadNetworkDockDef(bool networkDocksEnabled, QStringList& remoteList, QString* statusText)
{
    LocalDebugString(QStringLiteral("TfrmMain.LoadNetworkDockDef"), lcApp());
    if (!networkDocksEnabled) {
        return false;
    }
    Connection c(m_path);
    const auto addresses = c.ok() ? addressesOf(c, QStringLiteral("LIVE")) : std::nullopt;
    if (!addresses) {
        if (statusText) {
            *statusText = QStringLiteral("Dock Setup Database Connection Failed!!!!");
        }
        return false;
    }
    remoteList.append(*addresses);
    return true;
}

bool DockDefDatabase::GetListeningDockList(bool networkDocksEnabled, QStringList& list, QString* statusText)
{
    LocalDebugString(QStringLiteral("TfrmMain.GetListeningDockList"), lcApp());
    if (!networkDocksEnabled) {
        return false;
    }
    Connection c(m_path);
    const auto addresses = c.ok() ? addressesOf(c, QStringLiteral("LISTENING")) : std::nullopt;
    if (!addresses) {
        if (statusText) {
            *statusText = QStringLiteral("Dock Setup Database Connection Failed!!!!");
        }
        return false;
    }
    if (!addresses->isEmpty()) {
        list = *addresses;
    }
    return true;
}

DockDefDatabase::UpdateResult DockDefDatabase::UpdateDockInfo(bool networkDocksEnabled, const QString& serialText,
                                                              const QString& addressText, Prompter* prompter)
{
    LocalDebugString(QStringLiteral("TfrmDockSetup.UpdateDockInfo"), lcApp());
    UpdateResult r;
    if (!networkDocksEnabled) {
        return r;
    }
    const auto serial = NormalisedDockSerial(serialText);
    QString address = addressText.trimmed();
    if (address.startsWith(QLatin1String("::ffff:"))) {
        address = address.mid(7);
    }
    if (!serial || !CheckIPAddress(address)) {
        trace(QStringLiteral("UpdateDockInfo - refused serial \"%1\" address \"%2\"").arg(serialText, addressText));
        r.failed = true;
        return r;
    }
    Connection c(m_path);
    if (!c.ok()) {
        if (prompter) {
            prompter->error(QStringLiteral("Dock Setup Database Connection Failed"));
        }
        r.failed = true;
        return r;
    }
    QSqlQuery q;
    // A row stored with another spelling of the same number is the same dock.
    if (!c.exec(q,
                QStringLiteral("SELECT rowid, DockSerialNum, \"IP Address\" FROM DockDef WHERE DockType = ? "
                               "AND DockSerialNum GLOB '[0-9]*' AND NOT DockSerialNum GLOB '*[^0-9]*' "
                               "AND CAST(DockSerialNum AS INTEGER) = ? ORDER BY DockSerialNum LIMIT 1"),
                {VX8DockType, serial->toInt()})) {
        r.failed = true;
        return r;
    }
    if (!q.next()) {
        q.finish();
        if (!c.exec(q,
                    QStringLiteral("INSERT INTO DockDef (DockType, DockSerialNum, \"IP Address\", Alias, "
                                   "\"Network Connection\") VALUES (?, ?, ?, '', 'DISABLED')"),
                    {VX8DockType, *serial, address})) {
            r.failed = true;
            return r;
        }
        r.added = true;
        r.changed = true;
        return r;
    }
    const qint64 rowid = q.value(0).toLongLong();
    const QString storedSerial = q.value(1).toString();
    const QString storedAddress = q.value(2).toString();
    q.finish();
    if (storedAddress != address) {
        r.changed = true;
    }
    if (storedSerial != *serial) {
        r.result = true;
        r.changed = true;
    }
    if (r.changed
        && !c.exec(q, QStringLiteral("UPDATE DockDef SET \"IP Address\" = ?, DockSerialNum = ? WHERE rowid = ?"),
                   {address, *serial, rowid})) {
        r = UpdateResult{};
        r.failed = true;
    }
    return r;
}

DockDefDatabase::UpdateResult DockDefDatabase::RegisterDiscoveryReply(bool networkDocksEnabled, const QString& reply,
                                                                      const QString& address, Prompter* prompter)
{
    const auto serial = SerialFromDiscoveryReply(reply);
    if (!serial) {
        trace(QStringLiteral("DockEnumerator1ListChanged - answer without a dock serial ignored"));
        UpdateResult r;
        r.failed = true;
        return r;
    }
    return UpdateDockInfo(networkDocksEnabled, *serial, address, prompter);
}

std::optional<DockDefDatabase::Counts> DockDefDatabase::CountRows()
{
    Connection c(m_path);
    QSqlQuery q;
    if (!c.ok() || !c.exec(q, QStringLiteral("SELECT \"Network Connection\" FROM DockDef"))) {
        return std::nullopt;
    }
    Counts counts;
    while (q.next()) {
        const QString mode = q.value(0).toString();
        ++counts.all;
        if (mode.compare(QLatin1String("LIVE"), Qt::CaseInsensitive) == 0) {
            ++counts.live;
        } else if (mode.compare(QLatin1String("LISTENING"), Qt::CaseInsensitive) == 0) {
            ++counts.listening;
        } else if (mode.compare(QLatin1String("DISABLED"), Qt::CaseInsensitive) == 0) {
            ++counts.disabled;
        }
    }
    return counts;
}

std::optional<QList<DockDefDatabase::Row>> DockDefDatabase::Rows()
{
    Connection c(m_path);
    QSqlQuery q;
    if (!c.ok() || !c.exec(q, QStringLiteral("SELECT rowid, * FROM DockDef ORDER BY DockSerialNum"))) {
        return std::nullopt;
    }
    QList<Row> rows;
    const QSqlRecord rec = q.record();
    const int update = rec.indexOf(QStringLiteral("UpdateDockName"));
    while (q.next()) {
        Row row;
        row.rowid = q.value(QStringLiteral("rowid")).toLongLong();
        row.serial = q.value(QStringLiteral("DockSerialNum")).toString();
        row.dockType = q.value(QStringLiteral("DockType")).toInt();
        row.address = q.value(QStringLiteral("IP Address")).toString();
        row.mode = q.value(QStringLiteral("Network Connection")).toString();
        row.alias = q.value(QStringLiteral("Alias")).toString();
        row.updateDockName = update >= 0 ? q.value(update).toInt() : 0;
        rows.append(row);
    }
    return rows;
}

bool DockDefDatabase::ValidateRow(Row& row, const QString& previousMode, const Counts& counts, Prompter* prompter)
{
    LocalDebugString(QStringLiteral("TfrmDockSetup.ADOQuery1BeforePost"), lcApp());
    const auto say = [prompter](Prompter::Kind kind, const QString& text) {
        if (prompter) {
            prompter->ask(kind, text, Prompter::Ok, Prompter::Ok);
        }
    };
    bool ok = true;
    row.dockType = VX8DockType;
    row.updateDockName = 1;

    bool numeric = false;
    const qlonglong serial = row.serial.trimmed().toLongLong(&numeric);
    if (!numeric) {
        say(Prompter::Kind::Error, QStringLiteral("Serial Number must be Numeric!"));
        ok = false;
    } else if (serial < 1 || serial > 99999) {
        say(Prompter::Kind::Error, QStringLiteral("Serial Number must a number between 1 and 99,999!"));
        ok = false;
    } else {
        row.serial = FormatDockSerial(quint64(serial));
    }

    const QString typedAddress = row.address.trimmed();
    QString address = typedAddress;
    if (CheckIPAddress(address)) {
        row.address = address;
    } else {
        say(Prompter::Kind::Error, QStringLiteral("IP Address must be in xxx.xxx.xxx.xxx format and the range of "
                                                  "xxx must be 0 to 255!"));
        ok = false;
    }

    const QString mode = row.mode.trimmed().toUpper();
    const bool live = mode == QLatin1String("LIVE");
    const bool listening = mode == QLatin1String("LISTENING");
    if ((live || listening)
        && (typedAddress == QLatin1String("000.000.000.000") || typedAddress == QLatin1String("0.0.0.0")
            || row.address == QLatin1String("0.0.0.0"))) {
        say(Prompter::Kind::Information,
            QStringLiteral("Dock cannot not be set tp LIVE or LISTENING with IP Address of 000.000.000.000 or "
                           "0.0.0.0 .  This is probably a USB only dock."));
        ok = false;
    }
    if (!live && !listening && mode != QLatin1String("DISABLED")) {
        say(Prompter::Kind::Error, QStringLiteral("A Network Connection mode must be selected!"));
        ok = false;
    } else {
        row.mode = mode;
    }
    const bool wasLive = previousMode.trimmed().compare(QLatin1String("LIVE"), Qt::CaseInsensitive) == 0;
    const bool wasListening = previousMode.trimmed().compare(QLatin1String("LISTENING"), Qt::CaseInsensitive) == 0;
    const QString note = QStringLiteral(").  Please select a different mode.\r\n\r\nNote: If you want this dock(s) to "
                                        "operate in this mode, you can install VX8 on another computer and set it up there.");
    if (live && counts.live + (wasLive ? 0 : 1) > MaxLiveDocks) {
        say(Prompter::Kind::Warning,
            QStringLiteral("The maximum number of LIVE mode docks has been exceed(") + QString::number(MaxLiveDocks) + note);
        ok = false;
    }
    if (listening && counts.listening + (wasListening ? 0 : 1) > MaxListeningDocks) {
        say(Prompter::Kind::Warning, QStringLiteral("The maximum number of LISTENING mode docks has been exceed(")
                                         + QString::number(MaxListeningDocks) + note);
        ok = false;
    }
    return ok;
}

bool DockDefDatabase::SaveRow(Row& row)
{
    Connection c(m_path);
    QSqlQuery q;
    if (!c.ok()) {
        return false;
    }
    const QVariantList values{row.serial, row.dockType, row.address, row.mode, row.alias, row.updateDockName};
    if (row.rowid < 0) {
        if (!c.exec(q,
                    QStringLiteral("INSERT INTO DockDef (DockSerialNum, DockType, \"IP Address\", \"Network Connection\", "
                                   "Alias, UpdateDockName) VALUES (?, ?, ?, ?, ?, ?)"),
                    values)) {
            return false;
        }
        row.rowid = q.lastInsertId().toLongLong();
        return true;
    }
    QVariantList withId = values;
    withId.append(row.rowid);
    return c.exec(q,
                  QStringLiteral("UPDATE DockDef SET DockSerialNum = ?, DockType = ?, \"IP Address\" = ?, "
                                 "\"Network Connection\" = ?, Alias = ?, UpdateDockName = ? WHERE rowid = ?"),
                  withId)
           && q.numRowsAffected() == 1;
}

bool DockDefDatabase::DeleteRow(qint64 rowid)
{
    Connection c(m_path);
    QSqlQuery q;
    return c.ok() && c.exec(q, QStringLiteral("DELETE FROM DockDef WHERE rowid = ?"), {rowid});
}

bool DockDefDatabase::UpdateAllRecords(const QString& requested, Prompter* prompter)
{
    LocalDebugString(QStringLiteral("TfrmDockSetup.UpdateAllRecords"), lcApp());
    if (prompter
        && !prompter->confirm(QStringLiteral("Are you sure you want to change all Network Connection to ") + requested
                                  + QStringLiteral("?"),
                              Prompter::No)) {
        return false;
    }
    const auto rows = Rows();
    if (!rows) {
        if (prompter) {
            prompter->error(QStringLiteral("Dock Setup Database Connection Failed"));
        }
        return false;
    }
    if (rows->isEmpty()) {
        if (prompter) {
            prompter->warn(QStringLiteral("No Docks defined to edit!"));
        }
        return false;
    }
    QString mode = requested;
    int limit = mode == QLatin1String("LIVE") ? MaxLiveDocks + 1 : mode == QLatin1String("LISTENING") ? MaxListeningDocks + 1 : 0;
    Connection c(m_path);
    if (!c.ok()) {
        return false;
    }
    QSqlDatabase db = c.db();
    db.transaction();
    int changed = 0;
    QSqlQuery q;
    for (const Row& row : *rows) {
        if (limit > 0 && changed + 1 >= limit) {
            if (prompter) {
                prompter->warn(QStringLiteral("The maximum number of docks that can run in %1 Mode is %2.  Only the first "
                                              "%2 docks have been changed.  The rest will be changed to DISABLED.\r\n\r\n"
                                              "Note: If you want this dock(s) to operate in this mode, you can install "
                                              "VX8 on another computer and set it up there.")
                                   .arg(mode)
                                   .arg(limit - 1));
            }
            mode = QStringLiteral("DISABLED");
            limit = 0;
        }
        if (!c.exec(q, QStringLiteral("UPDATE DockDef SET \"Network Connection\" = ? WHERE rowid = ?"), {mode, row.rowid})) {
            db.rollback();
            return false;
        }
        ++changed;
    }
    db.commit();
    return true;
}

std::optional<QString> NormalisedDockSerial(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9) {
        return std::nullopt;
    }
    for (QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    const int value = t.toInt();
    if (value < 1 || value > 99999) {
        return std::nullopt;
    }
    return FormatDockSerial(quint64(value));
}

std::optional<QString> SerialFromDiscoveryReply(const QString& reply)
{
    const int hash = int(reply.indexOf(QLatin1Char('#')));
    if (hash < 0 || reply.size() < 2) {
        return std::nullopt;
    }
    const QString rest = reply.mid(hash + 1);
    if (rest.isEmpty()) {
        return std::nullopt;
    }
    return NormalisedDockSerial(rest.left(rest.size() - 1));
}

} // namespace vx8
