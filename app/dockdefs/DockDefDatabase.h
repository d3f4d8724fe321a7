#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vx8 {

class Prompter;

// The dock definition database: the SQLite file "DockSetup/DockSetup.db" below the program folder,
// with the tables
//
//   DockDef(DockSerialNum text, DockType integer, "IP Address" text, "Network Connection" text,
//           Alias text, UpdateDockName integer default 0)
//   db_version(db_version integer, information text)
//
// Text columns compare case-insensitively. The file is installed with the program; this code never
// creates it by opening it (a missing file means "network docks disabled"), and keeps it readable
// by its owner only (mode 0600). Every operation opens its own connection and closes it at the end;
// every value goes into the SQL as a bound parameter.
class DockDefDatabase
{
public:
    // The dock model code of this dock in DockDef.DockType.
    static constexpr int VX8DockType = 15;
    static constexpr int MaxLiveDocks = 50;
    static constexpr int MaxListeningDocks = 200;
    static constexpr int SchemaVersion = 2;

    // programFolder() + "DockSetup" and + "DockSetup/DockSetup.db".
    static QString defaultFolder();
    static QString defaultPath();

    explicit DockDefDatabase(QString path = defaultPath());
    const QString& path() const { return m_path; }
    bool folderExists() const;
    bool fileExists() const;

    // Makes a new, empty definition file with the tables of the given schema version (1 lacks
    // UpdateDockName); the installation, the demo and the tests use it. False when the file exists.
    static bool create(const QString& path, int schemaVersion = SchemaVersion, QString* error = nullptr);

    // Schema upgrade, run at every start. With network docks disabled it does nothing (true).
    // A file that cannot be opened: statusText "Dock Setup Database Update Failed!!!!", false.
    // dateTimeFormat formats the time stamp of the change-log line (empty: the locale's short form).
    bool UpdateDockDatabase(bool networkDocksEnabled, QString* statusText,
                            const QString& dateTimeFormat = {});

    // Appends the addresses of the LIVE rows, in serial order, to remoteList. Rows whose address is
    // not a valid dotted address, is 0.0.0.0, or repeats an address already listed are skipped (a
    // second frame on one dock's ports, or a frame for a USB-only dock, helps no one). A file that
    // cannot be opened: statusText "Dock Setup Database Connection Failed!!!!", false.
    bool LoadNetworkDockDef(bool networkDocksEnabled, QStringList& remoteList, QString* statusText);
    // Replaces list with the addresses of the LISTENING rows when there are any (same skipping).
    bool GetListeningDockList(bool networkDocksEnabled, QStringList& list, QString* statusText);

    struct UpdateResult
    {
        bool result = false;  // a known dock's stored serial text was rewritten
        bool changed = false; // a row was added or its address or serial changed
        bool added = false;   // a new DISABLED row (the caller sets NewNetworkDocks)
        bool failed = false;  // nothing done: the file could not be opened, or bad input
    };
    // Registers one dock seen on the network. The serial must be a decimal number 1 .. 99999 and
    // is stored in its five-digit form; the address must be a dotted IPv4 address (stored without
    // leading zeros). A known serial (DockType 15) gets the address; an unknown one a new row
    // "DISABLED" with an empty alias. A file that cannot be opened shows (error)
    // "Dock Setup Database Connection Failed" through prompter.
    UpdateResult UpdateDockInfo(bool networkDocksEnabled, const QString& serial, const QString& address,
                                Prompter* prompter);
    // The registration of a discovery answer: the serial after the first "#" of the reply (see
    // SerialFromDiscoveryReply); a reply without a well-formed serial registers nothing (failed).
    UpdateResult RegisterDiscoveryReply(bool networkDocksEnabled, const QString& reply,
                                        const QString& address, Prompter* prompter);

    // Rows per "Network Connection" value; empty when the file cannot be opened.
    struct Counts
    {
        int all = 0, live = 0, listening = 0, disabled = 0;
    };
    std::optional<Counts> CountRows();

    struct Row
    {
        qint64 rowid = -1; // -1: not stored yet
        QString serial;
        int dockType = VX8DockType;
        QString address;
        QString mode;
        QString alias;
        int updateDockName = 0;
    };
    // Every row, in serial order; empty optional when the file cannot be opened.
    std::optional<QList<Row>> Rows();

    // The checks a row passes before it is saved (the dialog's BeforePost): sets DockType 15 and
    // UpdateDockName 1, stores the serial in its five-digit form and the address without leading
    // zeros, and shows the message of every check that fails (false then). previousMode is the
    // row's mode as stored ("" for a new row); counts the last status-bar count. A row that was
    // LIVE (LISTENING) already is counted once against the limit, not twice.
    static bool ValidateRow(Row& row, const QString& previousMode, const Counts& counts, Prompter* prompter);
    // Stores a validated row: a new one (rowid -1, which is then set) or the one with its rowid.
    bool SaveRow(Row& row);
    bool DeleteRow(qint64 rowid);
    // "All Live" / "All Listening" / "All Disabled": after the confirmation, sets every row in
    // serial order to the mode; past the limit (50 LIVE, 200 LISTENING) the rest become DISABLED,
    // after the limit message. False when not confirmed, no rows, or the file cannot be opened.
    bool UpdateAllRecords(const QString& mode, Prompter* prompter);

private:
    QString m_path;
};

// The five-digit serial of a discovery answer: the characters after the first "#", without the
// answer's last character, trimmed, when they are a decimal number 1 .. 99999 ("VX8#01234\r" gives
// "01234", "VX8#12\r" gives "00012"). Anything else gives nothing.
std::optional<QString> SerialFromDiscoveryReply(const QString& reply);
// A serial typed or received as text: a decimal number 1 .. 99999 in its five-digit form.
std::optional<QString> NormalisedDockSerial(const QString& text);

} // namespace vx8
