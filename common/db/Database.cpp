#include "common/db/Database.h"

#include "common/Trace.h"

#include <pqxx/pqxx>

#include <QDate>
#include <QTime>

#include <cmath>

namespace vx8::db {

// ---------------------------------------------------------------------------------------------
// Row

int Row::indexOf(const QString& column) const
{
    if (!m_columns) {
        return -1;
    }
    const QString wanted = column.toLower();
    return int(m_columns->indexOf(wanted));
}

bool Row::has(const QString& column) const
{
    return indexOf(column) >= 0;
}

bool Row::isNull(const QString& column) const
{
    const int i = indexOf(column);
    return i < 0 || !m_values[size_t(i)].has_value();
}

QVariant Row::value(const QString& column) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return {};
    }
    return *m_values[size_t(i)];
}

QString Row::text(const QString& column, const QString& fallback) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return fallback;
    }
    return *m_values[size_t(i)];
}

std::optional<qint64> Row::integer(const QString& column) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return std::nullopt;
    }
    const QString t = m_values[size_t(i)]->trimmed();
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    if (ok) {
        return v;
    }
    // numeric columns: "230" may come as "230.00"; only whole numbers count.
    const double d = t.toDouble(&ok);
    if (ok && std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) {
        return qint64(d);
    }
    return std::nullopt;
}

int Row::toInt(const QString& column, int fallback) const
{
    const auto v = integer(column);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) {
        return fallback;
    }
    return int(*v);
}

double Row::toDouble(const QString& column, double fallback) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return fallback;
    }
    bool ok = false;
    const double v = m_values[size_t(i)]->trimmed().toDouble(&ok);
    return ok ? v : fallback;
}

bool Row::toBool(const QString& column, bool fallback) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return fallback;
    }
    const QString t = m_values[size_t(i)]->trimmed().toLower();
    if (t == QLatin1String("t") || t == QLatin1String("true") || t == QLatin1String("yes") ||
        t == QLatin1String("on")) {
        return true;
    }
    if (t == QLatin1String("f") || t == QLatin1String("false") || t == QLatin1String("no") ||
        t == QLatin1String("off")) {
        return false;
    }
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    return ok ? n != 0 : fallback;
}

QDateTime Row::toDateTime(const QString& column) const
{
    const int i = indexOf(column);
    if (i < 0 || !m_values[size_t(i)]) {
        return {};
    }
    // "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" or with a fraction of up to six digits.
    const QString t = m_values[size_t(i)]->trimmed();
    const QDate date = QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        return {};
    }
    if (t.size() == 10) {
        return QDateTime(date, QTime(0, 0));
    }
    QString timeText = t.mid(11);
    int ms = 0;
    const int dot = int(timeText.indexOf(u'.'));
    if (dot >= 0) {
        QString frac = timeText.mid(dot + 1);
        int end = 0;
        while (end < frac.size() && frac.at(end).isDigit()) {
            ++end;
        }
        frac = (frac.left(end) + QStringLiteral("000")).left(3);
        ms = frac.toInt();
        timeText = timeText.left(dot);
    }
    QTime time = QTime::fromString(timeText.left(8), QStringLiteral("HH:mm:ss"));
    if (!time.isValid()) {
        return {};
    }
    return QDateTime(date, time.addMSecs(ms));
}

QString Row::columnName(int i) const
{
    return m_columns && i >= 0 && i < m_columns->size() ? m_columns->at(i) : QString();
}

std::optional<QString> Row::at(int i) const
{
    if (i < 0 || i >= int(m_values.size())) {
        return std::nullopt;
    }
    return m_values[size_t(i)];
}

// ---------------------------------------------------------------------------------------------
// Connection

namespace {

QString quoteConnValue(const QString& v)
{
    QString out = QStringLiteral("'");
    for (const QChar c : v) {
        if (c == u'\\' || c == u'\'') {
            out += u'\\';
        }
        out += c;
    }
    out += u'\'';
    return out;
}

QString fromStd(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size())).trimmed();
}

} // namespace

struct Connection::Handles
{
    std::unique_ptr<pqxx::connection> conn;
    std::unique_ptr<pqxx::work> work;
};

Connection::Connection(TDBSettings settings, int connectTimeoutSeconds)
    : m_settings(std::move(settings)), m_timeout(connectTimeoutSeconds), m_h(std::make_unique<Handles>())
{
}

bool Connection::inTransaction() const
{
    return m_h->work != nullptr;
}

Connection::~Connection()
{
    close();
}

QString Connection::connectionString(const TDBSettings& s, int connectTimeoutSeconds, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error) {
            *error = text;
        }
        return QString();
    };
    if (s.ServerName.trimmed().isEmpty()) {
        return fail(QStringLiteral("No database server name"));
    }
    bool ok = false;
    const int port = s.ServerPort.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        return fail(QStringLiteral("Database server port is not a valid number: \"%1\"").arg(s.ServerPort));
    }
    QStringList parts;
    parts << QStringLiteral("host=") + quoteConnValue(s.ServerName.trimmed())
          << QStringLiteral("port=") + QString::number(port)
          << QStringLiteral("dbname=") + quoteConnValue(s.DatabaseName)
          << QStringLiteral("user=") + quoteConnValue(s.UserName)
          << QStringLiteral("password=") + quoteConnValue(s.Password)
          << QStringLiteral("client_encoding='UTF8'")
          // Date-times are read back in ISO form whatever the server's own default.
          << QStringLiteral("options='-c DateStyle=ISO,YMD'")
          << QStringLiteral("application_name='VX8'");
    if (connectTimeoutSeconds > 0) {
        parts << QStringLiteral("connect_timeout=") + QString::number(connectTimeoutSeconds);
    }
    return parts.join(u' ');
}

std::optional<QString> Connection::parameterText(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        return std::nullopt;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(v.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 17);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("HH:mm:ss"));
    default:
        return v.toString();
    }
}

void Connection::setError(ErrorKind kind, const QString& text, const QString& sqlState)
{
    m_lastKind = kind;
    m_lastError = text;
    m_lastSqlState = sqlState;
    LocalDebugString(QStringLiteral("Database error: ") + text, lcDb());
}

void Connection::clearError()
{
    m_lastKind = ErrorKind::None;
    m_lastError.clear();
    m_lastSqlState.clear();
}

bool Connection::isOpen() const
{
    return m_h->conn != nullptr;
}

bool Connection::open()
{
    if (m_h->conn) {
        return true;
    }
    clearError();
    QString why;
    const QString conninfo = connectionString(m_settings, m_timeout, &why);
    if (conninfo.isEmpty()) {
        setError(ErrorKind::Settings, why);
        return false;
    }
    try {
        m_h->conn = std::make_unique<pqxx::connection>(conninfo.toStdString());
        return true;
    } catch (const std::exception& e) {
        m_h->conn.reset();
        setError(ErrorKind::Connect, fromStd(e.what()));
    } catch (...) {
        m_h->conn.reset();
        setError(ErrorKind::Connect, QStringLiteral("Unknown error while connecting"));
    }
    return false;
}

void Connection::close()
{
    try {
        if (m_h->work) {
            m_h->work->abort();
        }
    } catch (...) {
    }
    m_h->work.reset();
    try {
        if (m_h->conn) {
            m_h->conn->disconnect();
        }
    } catch (...) {
    }
    m_h->conn.reset();
}

template <typename Body> bool Connection::guarded(const QString& sql, Body body)
{
    try {
        body();
        return true;
    } catch (const pqxx::broken_connection& e) {
        setError(ErrorKind::Lost, fromStd(e.what()));
        m_h->work.reset();
        m_h->conn.reset();
    } catch (const pqxx::sql_error& e) {
        setError(ErrorKind::Statement, fromStd(e.what()), QString::fromStdString(e.sqlstate()));
    } catch (const std::exception& e) {
        setError(ErrorKind::Statement, fromStd(e.what()));
    } catch (...) {
        setError(ErrorKind::Statement, QStringLiteral("Unknown database error"));
    }
    LocalDebugString(QStringLiteral("  in: ") + sql.simplified(), lcDb());
    if (m_h->work) {
        m_workFailed = true;
    }
    return false;
}

Rows Connection::run(const QString& sql, const Params& params)
{
    Rows out;
    if (!open()) {
        return out;
    }
    if (m_h->work && m_workFailed) {
        setError(ErrorKind::Statement, QStringLiteral("The transaction was already aborted by an earlier error"));
        return out;
    }
    clearError();

    std::vector<std::string> storage;
    storage.reserve(size_t(params.size()));
    std::vector<const char*> values;
    values.reserve(size_t(params.size()));
    for (const QVariant& p : params) {
        const auto text = parameterText(p);
        if (text) {
            storage.push_back(text->toStdString());
        }
    }
    size_t next = 0;
    for (const QVariant& p : params) {
        if (parameterText(p)) {
            values.push_back(storage[next++].c_str());
        } else {
            values.push_back(nullptr);
        }
    }

    const std::string statement = sql.toStdString();
    out.m_ok = guarded(sql, [&] {
        pqxx::result r;
        if (m_h->work) {
            r = m_h->work->exec_params(statement, pqxx::prepare::make_dynamic_params(values));
        } else {
            pqxx::nontransaction tx(*m_h->conn);
            r = tx.exec_params(statement, pqxx::prepare::make_dynamic_params(values));
        }
        auto columns = std::make_shared<QStringList>();
        const int ncols = int(r.columns());
        for (int c = 0; c < ncols; ++c) {
            columns->append(QString::fromUtf8(r.column_name(pqxx::row::size_type(c))).toLower());
        }
        out.m_columns = columns;
        out.m_affected = qint64(r.affected_rows());
        out.m_rows.reserve(qsizetype(r.size()));
        for (const auto& row : r) {
            Row outRow;
            outRow.m_columns = columns;
            outRow.m_values.reserve(size_t(ncols));
            for (int c = 0; c < ncols; ++c) {
                const pqxx::field f = row[pqxx::row::size_type(c)];
                if (f.is_null()) {
                    outRow.m_values.emplace_back(std::nullopt);
                } else {
                    outRow.m_values.emplace_back(QString::fromUtf8(f.c_str(), qsizetype(f.size())));
                }
            }
            out.m_rows.append(std::move(outRow));
        }
    });
    return out;
}

Rows Connection::query(const QString& sql, const Params& params)
{
    return run(sql, params);
}

bool Connection::exec(const QString& sql, const Params& params, qint64* affected)
{
    const Rows r = run(sql, params);
    if (affected) {
        *affected = r.ok() ? r.affected() : 0;
    }
    return r.ok();
}

std::optional<qint64> Connection::insertReturning(const QString& sql, const Params& params)
{
    const Rows r = run(sql, params);
    if (!r.ok()) {
        return std::nullopt;
    }
    if (r.isEmpty() || r.columns().isEmpty()) {
        setError(ErrorKind::Statement, QStringLiteral("The statement returned no key"));
        if (m_h->work) {
            m_workFailed = true;
        }
        return std::nullopt;
    }
    const auto key = r.first().integer(r.columns().first());
    if (!key) {
        setError(ErrorKind::Statement, QStringLiteral("The returned key is not an integer"));
        if (m_h->work) {
            m_workFailed = true;
        }
    }
    return key;
}

bool Connection::transaction(const std::function<bool()>& body)
{
    if (m_h->work) {
        // Joins the outer transaction: its failure aborts the whole.
        const bool ok = body();
        if (!ok) {
            m_workFailed = true;
        }
        return ok && !m_workFailed;
    }
    if (!open()) {
        return false;
    }
    clearError();
    if (!guarded(QStringLiteral("BEGIN"), [&] { m_h->work = std::make_unique<pqxx::work>(*m_h->conn); })) {
        return false;
    }
    m_workFailed = false;
    bool ok = false;
    try {
        ok = body();
    } catch (const std::exception& e) {
        setError(ErrorKind::Statement, fromStd(e.what()));
        ok = false;
    } catch (...) {
        setError(ErrorKind::Statement, QStringLiteral("Unknown error in a database transaction"));
        ok = false;
    }
    if (!m_h->work) {
        // The connection broke inside the body.
        return false;
    }
    if (ok && !m_workFailed) {
        const bool committed = guarded(QStringLiteral("COMMIT"), [&] { m_h->work->commit(); });
        m_h->work.reset();
        m_workFailed = false;
        return committed;
    }
    const QString err = m_lastError;
    const ErrorKind kind = m_lastKind;
    const QString state = m_lastSqlState;
    try {
        m_h->work->abort();
    } catch (...) {
    }
    m_h->work.reset();
    m_workFailed = false;
    if (kind == ErrorKind::None) {
        setError(ErrorKind::Statement, QStringLiteral("The transaction was rolled back"));
    } else {
        m_lastKind = kind;
        m_lastError = err;
        m_lastSqlState = state;
    }
    return false;
}

bool Connection::lockKey(const QString& key)
{
    return exec(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext($1))"), {key});
}

} // namespace vx8::db
