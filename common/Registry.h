#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <optional>

namespace vx8 {

// The machine-wide settings store: one text file in the registry-export format
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\Calderwick\Vexa]
//   "Name"="value"
//
// Only string values are kept. Key and value names compare case-insensitively and keep the
// spelling they were first written with. Every write re-reads the file under a lock and replaces
// it atomically (temporary file + rename), so two programs sharing the file never see half of it.
class Registry
{
public:
    // The file named by VX8_REGISTRY, else the machine-wide default.
    static QString defaultPath();
    // The registry every part of the program uses (on defaultPath()).
    static Registry& machine();

    explicit Registry(QString path);

    const QString& path() const { return m_path; }

    // False when the key does not exist.
    bool keyExists(const QString& key) const;
    // Missing key or value: an empty optional.
    std::optional<QString> value(const QString& key, const QString& name) const;
    // Creates the key when missing. False when the file cannot be written.
    bool setValue(const QString& key, const QString& name, const QString& text);
    // Creates the key when missing, then removes the value. False when the file cannot be written.
    bool deleteValue(const QString& key, const QString& name);

    // Parsing and writing the file format, exposed for the tests.
    struct Key
    {
        QString name;
        QList<QPair<QString, QString>> values;
    };
    static QList<Key> parse(const QString& text);
    static QString format(const QList<Key>& keys);

private:
    QList<Key> load() const;
    bool store(const QList<Key>& keys) const;
    template <typename Edit> bool update(Edit edit);

    QString m_path;
};

// The three helpers the program uses, always on the machine-wide root.
// A key that cannot be opened leaves the result empty; a value is at most 512 characters.
QString ReadRegistryString(const QString& key, const QString& name);
bool WriteRegistryString(const QString& key, const QString& name, const QString& text);
bool DeleteRegistryValue(const QString& key, const QString& name);

// The keys the program reads and writes.
namespace RegKey {
inline const QString Family = QStringLiteral("Software\\Calderwick\\Vexa");
inline const QString Database = QStringLiteral("Software\\Calderwick\\Vexa\\SQLServer");
inline const QString Fennra = QStringLiteral("Software\\Calderwick\\FennraII");
inline const QString Program = QStringLiteral("Software\\Calderwick\\VX8");
inline const QString QC = QStringLiteral("Software\\Calderwick\\VX8\\QC");
inline const QString Flash = QStringLiteral("SOFTWARE\\Calderwick\\Flash Upload Utilities");
} // namespace RegKey

} // namespace vx8
