#pragma once

#include "common/db/DBSettings.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vx8::db {

// Statement parameters, bound to $1, $2, ... in order. Every value goes to the server as a bound
// parameter, never as text pasted into the statement:
//   null QVariant        -> SQL NULL
//   bool                 -> true / false
//   integers             -> decimal
//   double               -> shortest exact decimal text
//   QDateTime            -> "yyyy-MM-dd hh:mm:ss" (local wall-clock time, seconds)
//   QDate                -> "yyyy-MM-dd"
//   anything else        -> QVariant::toString(), sent as UTF-8
using Params = QList<QVariant>;

enum class ErrorKind {
    None,
    Settings,  // the connection settings cannot be used (no server name, port not a number, ...)
    Connect,   // the server could not be reached or refused the login
    Statement, // the server refused a statement (syntax, missing table or column, constraint, ...)
    Lost,      // the connection broke during an operation
};

// One result row. Columns are looked up by name, case-insensitively (the server folds unquoted
// names to lower case; callers may spell them as the statements do, "Serial_Number").
class Row
{
public:
    Row() = default;

    bool has(const QString& column) const;
    // NULL, or no such column.
    bool isNull(const QString& column) const;
    // The value as the server's text, or a null QVariant for NULL / a missing column.
    QVariant value(const QString& column) const;
    QString text(const QString& column, const QString& fallback = {}) const;
    // NULL, missing or not an integer: empty.
    std::optional<qint64> integer(const QString& column) const;
    int toInt(const QString& column, int fallback = 0) const;
    double toDouble(const QString& column, double fallback = 0.0) const;
    // Booleans as the server writes them ("t"/"f"), and integer columns used as flags (non-zero).
    bool toBool(const QString& column, bool fallback = false) const;
    // Timestamp or date columns; invalid for NULL, a missing column or unreadable text.
    QDateTime toDateTime(const QString& column) const;

    int columnCount() const { return int(m_values.size()); }
    QString columnName(int i) const;
    std::optional<QString> at(int i) const;

private:
    friend class Connection;
    int indexOf(const QString& column) const;

    std::shared_ptr<const QStringList> m_columns; // lower-cased
    std::vector<std::optional<QString>> m_values;
};

// The rows of a query. ok() is false when the statement failed (Connection::lastError says why).
class Rows
{
public:
    Rows() = default;

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    int size() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    // An empty row when there is none.
    Row first() const { return m_rows.isEmpty() ? Row() : m_rows.first(); }
    const Row& at(int i) const { return m_rows.at(i); }
    QList<Row>::const_iterator begin() const { return m_rows.cbegin(); }
    QList<Row>::const_iterator end() const { return m_rows.cend(); }
    // Lower-cased column names as the server returned them.
    QStringList columns() const { return m_columns ? *m_columns : QStringList(); }
    // Rows changed by an INSERT, UPDATE or DELETE.
    qint64 affected() const { return m_affected; }

private:
    friend class Connection;
    bool m_ok = false;
    qint64 m_affected = 0;
    std::shared_ptr<const QStringList> m_columns;
    QList<Row> m_rows;
};

// One connection to the results database, opened for one operation and closed at its end (or
// when the object goes). The client encoding is UTF-8. No exception leaves this class: failures
// are false / empty results with lastError() and lastErrorKind() set. A connection belongs to
// the thread that uses it; worker jobs open their own.
class Connection
{
public:
    explicit Connection(TDBSettings settings, int connectTimeoutSeconds = 10);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects with host ServerName, port ServerPort, database DatabaseName, user UserName and
    // password Password. True when connected (also when already open).
    bool open();
    bool isOpen() const;
    void close();

    // Runs one statement with bound parameters and returns its rows. Opens the connection
    // first when it is not open.
    Rows query(const QString& sql, const Params& params = {});
    // Runs a statement that returns no rows; affected (optional) receives the changed row count.
    bool exec(const QString& sql, const Params& params = {}, qint64* affected = nullptr);
    // Runs an INSERT ... RETURNING <column> and returns the first column of the first row
    // (the new key), or empty on failure.
    std::optional<qint64> insertReturning(const QString& sql, const Params& params = {});

    // Runs body inside one transaction: committed when body returns true and every statement in
    // it succeeded, rolled back otherwise. Returns whether it was committed. Inside body the
    // statements above run in the transaction; a nested call joins the outer one.
    bool transaction(const std::function<bool()>& body);
    bool inTransaction() const;
    // Inside a transaction: serialises writers that select-then-insert by the same natural key
    // (pg_advisory_xact_lock on the key text's hash); released at commit or rollback.
    bool lockKey(const QString& key);

    const TDBSettings& settings() const { return m_settings; }
    QString lastError() const { return m_lastError; }
    ErrorKind lastErrorKind() const { return m_lastKind; }
    // The server's five-character SQLSTATE of the last failed statement, when there was one.
    QString lastSqlState() const { return m_lastSqlState; }

    // The libpq connection string for the settings; empty with error text when unusable.
    static QString connectionString(const TDBSettings& settings, int connectTimeoutSeconds,
                                    QString* error = nullptr);
    // The parameter text the server receives for a value (see Params); empty for NULL.
    static std::optional<QString> parameterText(const QVariant& value);

private:
    template <typename Body> bool guarded(const QString& sql, Body body);
    Rows run(const QString& sql, const Params& params);
    void setError(ErrorKind kind, const QString& text, const QString& sqlState = {});
    void clearError();

    TDBSettings m_settings;
    int m_timeout;
    struct Handles; // the libpqxx connection and the open transaction
    std::unique_ptr<Handles> m_h;
    bool m_workFailed = false;
    QString m_lastError;
    ErrorKind m_lastKind = ErrorKind::None;
    QString m_lastSqlState;
};

} // namespace vx8::db
