#pragma once

#include <QByteArray>
#include <QString>

namespace vx8 {

class Prompter;

// The stored database password: Base64 (standard alphabet) of an RC4 ciphertext whose key is the
// 20-byte SHA-1 digest of a passphrase. Plain RC4, the keystream starting at its first byte and
// restarting for every text. Password characters are single bytes (Latin-1).
class TCalderCryptor
{
public:
    // The passphrase the administration program keys the stored password with (it is also the
    // password of the dock definition database).
    static inline const QString Passphrase = QStringLiteral("PLANXOVER42");

    // prompter: where "Invalid data for Decryption!" is shown; none shows nothing.
    explicit TCalderCryptor(Prompter* prompter = nullptr) : m_prompter(prompter) {}

    // The plain password, or "" (after the message) when either argument is empty.
    QString DecryptPassword(const QString& encrypted, const QString& passphrase) const;
    // The counterpart, for the tools and tests that write the registry as the administration
    // program does. Empty arguments give "".
    static QString EncryptPassword(const QString& plain, const QString& passphrase);

    // RC4 over data with the given key (any length 1..256 bytes); encrypts and decrypts.
    static QByteArray rc4(const QByteArray& key, const QByteArray& data);
    // The RC4 key for a passphrase: SHA-1 of its single-byte characters.
    static QByteArray keyFor(const QString& passphrase);

private:
    Prompter* m_prompter;
};

} // namespace vx8
