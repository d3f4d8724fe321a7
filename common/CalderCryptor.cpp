#include "common/CalderCryptor.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QCryptographicHash>

#include <array>

namespace vx8 {

QByteArray TCalderCryptor::rc4(const QByteArray& key, const QByteArray& data)
{
    if (key.isEmpty()) {
        return {};
    }
    std::array<quint8, 256> s{};
    for (int i = 0; i < 256; ++i) {
        s[size_t(i)] = quint8(i);
    }
    // Key scheduling.
    quint8 j = 0;
    const int keyLength = int(qMin<qsizetype>(key.size(), 256));
    for (int i = 0; i < 256; ++i) {
        j = quint8(j + s[size_t(i)] + quint8(key.at(i % keyLength)));
        std::swap(s[size_t(i)], s[j]);
    }
    // Keystream, XORed over the data.
    QByteArray out(data.size(), Qt::Uninitialized);
    quint8 a = 0;
    quint8 b = 0;
    for (qsizetype n = 0; n < data.size(); ++n) {
        a = quint8(a + 1);
        b = quint8(b + s[a]);
        std::swap(s[a], s[b]);
        const quint8 k = s[quint8(s[a] + s[b])];
        out[n] = char(quint8(data.at(n)) ^ k);
    }
    return out;
}

QByteArray TCalderCryptor::keyFor(const QString& passphrase)
{
    return QCryptographicHash::hash(passphrase.toLatin1(), QCryptographicHash::Sha1);
}

QString TCalderCryptor::DecryptPassword(const QString& encrypted, const QString& passphrase) const
{
    LocalDebugString(QStringLiteral("DecryptPassword"));
    if (encrypted.isEmpty() || passphrase.isEmpty()) {
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("Invalid data for Decryption!"));
        }
        return {};
    }
    const QByteArray cipher = QByteArray::fromBase64(encrypted.trimmed().toLatin1());
    return QString::fromLatin1(rc4(keyFor(passphrase), cipher));
}

QString TCalderCryptor::EncryptPassword(const QString& plain, const QString& passphrase)
{
    if (plain.isEmpty() || passphrase.isEmpty()) {
        return {};
    }
    return QString::fromLatin1(rc4(keyFor(passphrase), plain.toLatin1()).toBase64());
}

} // namespace vx8
