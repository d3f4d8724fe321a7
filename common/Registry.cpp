#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

namespace vx8 {

namespace {

const QString Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString RootPrefix = QStringLiteral("HKEY_LOCAL_MACHINE\\");

QString unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            out += s[++i];
        } else {
            out += s[i];
        }
    }
    return out;
}

QString escape(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    for (QChar c : s) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
        }
        out += c;
    }
    return out;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
// Returns false when the quote is never closed.
bool readQuoted(QStringView s, qsizetype& pos, QString& out)
{
    if (pos >= s.size() || s[pos] != u'"') {
        return false;
    }
    const qsizetype start = ++pos;
    while (pos < s.size()) {
        if (s[pos] == u'\\') {
            pos += 2;
            continue;
        }
        if (s[pos] == u'"') {
            out = unescape(s.mid(start, pos - start));
            ++pos;
            return true;
        }
        ++pos;
    }
    return false;
}

Registry::Key* findKey(QList<Registry::Key>& keys, const QString& name)
{
    for (auto& k : keys) {
        if (k.name.compare(name, Qt::CaseInsensitive) == 0) {
            return &k;
        }
    }
    return nullptr;
}

const Registry::Key* findKey(const QList<Registry::Key>& keys, const QString& name)
{
    return findKey(const_cast<QList<Registry::Key>&>(keys), name);
}

QString normaliseKey(QString key)
{
    key = key.trimmed();
    while (key.startsWith(u'\\')) {
        key.remove(0, 1);
    }
    while (key.endsWith(u'\\')) {
        key.chop(1);
    }
    return key;
}

} // namespace

QString Registry::defaultPath()
{
    const QByteArray env = qgetenv("VX8_REGISTRY");
    if (!env.isEmpty()) {
        return QString::fromLocal8Bit(env);
    }
    return QStringLiteral("/etc/vx8/registry.reg");
}

Registry& Registry::machine()
{
    // Re-created when VX8_REGISTRY changes, so that tests can point it at a file of their own.
    static std::unique_ptr<Registry> instance;
    const QString path = defaultPath();
    if (!instance || instance->path() != path) {
        instance = std::make_unique<Registry>(path);
    }
    return *instance;
}

Registry::Registry(QString path) : m_path(std::move(path)) {}

QList<Registry::Key> Registry::parse(const QString& text)
{
    QList<Key> keys;
    Key* current = nullptr;
    const auto lines = QStringView(text).split(u'\n');
    for (QStringView raw : lines) {
        QStringView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line == Header) {
            continue;
        }
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            QString name = line.mid(1, line.size() - 2).toString();
            if (name.startsWith(RootPrefix, Qt::CaseInsensitive)) {
                name = name.mid(RootPrefix.size());
            }
            name = normaliseKey(name);
            current = findKey(keys, name);
            if (!current) {
                keys.append(Key{name, {}});
                current = &keys.last();
            }
            continue;
        }
        if (!current || !line.startsWith(u'"')) {
            continue;
        }
        qsizetype pos = 0;
        QString name, value;
        if (!readQuoted(line, pos, name)) {
            continue;
        }
        while (pos < line.size() && line[pos].isSpace()) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != u'=') {
            continue;
        }
        ++pos;
        while (pos < line.size() && line[pos].isSpace()) {
            ++pos;
        }
        if (!readQuoted(line, pos, value)) {
            continue; // only string values are kept
        }
        bool replaced = false;
        for (auto& v : current->values) {
            if (v.first.compare(name, Qt::CaseInsensitive) == 0) {
                v.second = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            current->values.append({name, value});
        }
    }
    return keys;
}

QString Registry::format(const QList<Key>& keys)
{
    QString out = Header + QLatin1String("\n");
    for (const auto& k : keys) {
        out += QLatin1String("\n[") + RootPrefix + k.name + QLatin1String("]\n");
        for (const auto& v : k.values) {
            out += QLatin1Char('"') + escape(v.first) + QLatin1String("\"=\"") + escape(v.second) +
                   QLatin1String("\"\n");
        }
    }
    return out;
}

QList<Registry::Key> Registry::load() const
{
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = f.readAll();
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
    } else {
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            bytes.remove(0, 3);
        }
        text = QString::fromUtf8(bytes);
    }
    text.remove(u'\r');
    return parse(text);
}

bool Registry::store(const QList<Key>& keys) const
{
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly)) {
        return false;
    }
    f.write(format(keys).toUtf8());
    return f.commit();
}

template <typename Edit> bool Registry::update(Edit edit)
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(5000)) {
        return false;
    }
    QList<Key> keys = load();
    edit(keys);
    return store(keys);
}

bool Registry::keyExists(const QString& key) const
{
    return findKey(load(), normaliseKey(key)) != nullptr;
}

std::optional<QString> Registry::value(const QString& key, const QString& name) const
{
    const QList<Key> keys = load();
    const Key* k = findKey(keys, normaliseKey(key));
    if (!k) {
        return std::nullopt;
    }
    for (const auto& v : k->values) {
        if (v.first.compare(name, Qt::CaseInsensitive) == 0) {
            return v.second;
        }
    }
    return std::nullopt;
}

bool Registry::setValue(const QString& key, const QString& name, const QString& text)
{
    const QString keyName = normaliseKey(key);
    return update([&](QList<Key>& keys) {
        Key* k = findKey(keys, keyName);
        if (!k) {
            keys.append(Key{keyName, {}});
            k = &keys.last();
        }
        for (auto& v : k->values) {
            if (v.first.compare(name, Qt::CaseInsensitive) == 0) {
                v.second = text;
                return;
            }
        }
        k->values.append({name, text});
    });
}

bool Registry::deleteValue(const QString& key, const QString& name)
{
    const QString keyName = normaliseKey(key);
    return update([&](QList<Key>& keys) {
        Key* k = findKey(keys, keyName);
        if (!k) {
            keys.append(Key{keyName, {}});
            return;
        }
        k->values.removeIf(
            [&](const auto& v) { return v.first.compare(name, Qt::CaseInsensitive) == 0; });
    });
}

QString ReadRegistryString(const QString& key, const QString& name)
{
    Registry& reg = Registry::machine();
    if (!reg.keyExists(key)) {
        return {};
    }
    return reg.value(key, name).value_or(QString()).left(512);
}

bool WriteRegistryString(const QString& key, const QString& name, const QString& text)
{
    return Registry::machine().setValue(key, name, text);
}

bool DeleteRegistryValue(const QString& key, const QString& name)
{
    Registry::machine().deleteValue(key, name);
    return true;
}

} // namespace vx8
