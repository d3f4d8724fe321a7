#include "common/CalderCryptor.h"
#include "common/Prompter.h"

#include <QtTest>

using namespace vx8;

class TstCalderCryptor : public QObject
{
    Q_OBJECT

private slots:
    void rc4KnownAnswer_data();
    void rc4KnownAnswer();
    void decryptVectors_data();
    void decryptVectors();
    void emptyArgumentsAreRefused_data();
    void emptyArgumentsAreRefused();
    void wrongPassphraseGivesAnotherText();
};

// Published RC4 test vectors (key, plain text, cipher text in hex).
void TstCalderCryptor::rc4KnownAnswer_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherHex");
    QTest::newRow("Key/Plaintext") << QByteArray("Key") << QByteArray("Plaintext") << QByteArray("bbf316e8d940af0ad3");
    QTest::newRow("Wiki/pedia") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray("1021bf0420");
    QTest::newRow("Secret/Attack at dawn") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                           << QByteArray("45a01f645fc35b383552544b9bf5");
}

void TstCalderCryptor::rc4KnownAnswer()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherHex);
    QCOMPARE(TCalderCryptor::rc4(key, plain).toHex(), cipherHex);
    QCOMPARE(TCalderCryptor::rc4(key, QByteArray::fromHex(cipherHex)), plain);
}

void TstCalderCryptor::decryptVectors_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("plain");
    QTest::newRow("secret") << QStringLiteral("20k5WfD8") << QStringLiteral("secret");
    QTest::newRow("postgres") << QStringLiteral("2EMpX/L6Tb8=") << QStringLiteral("postgres");
    QTest::newRow("Pa$$w0rd!") << QStringLiteral("+E1+D+K4Wqhd") << QStringLiteral("Pa$$w0rd!");
}

void TstCalderCryptor::decryptVectors()
{
    QFETCH(QString, stored);
    QFETCH(QString, plain);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TCalderCryptor cryptor(&prompter);
    QCOMPARE(TCalderCryptor::keyFor(TCalderCryptor::Passphrase).toHex(),
             QByteArray("6b604f62f40306791b9dcb95d0cbff52a8595a29"));
    QCOMPARE(cryptor.DecryptPassword(stored, TCalderCryptor::Passphrase), plain);
    QCOMPARE(TCalderCryptor::EncryptPassword(plain, TCalderCryptor::Passphrase), stored);
    QVERIFY(prompter.records().isEmpty());
}

void TstCalderCryptor::emptyArgumentsAreRefused_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("passphrase");
    QTest::newRow("empty text") << QString() << TCalderCryptor::Passphrase;
    QTest::newRow("empty passphrase") << QStringLiteral("20k5WfD8") << QString();
    QTest::newRow("both empty") << QString() << QString();
}

void TstCalderCryptor::emptyArgumentsAreRefused()
{
    QFETCH(QString, stored);
    QFETCH(QString, passphrase);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TCalderCryptor cryptor(&prompter);
    QCOMPARE(cryptor.DecryptPassword(stored, passphrase), QString());
    QCOMPARE(prompter.texts(), QStringList{QStringLiteral("Invalid data for Decryption!")});
}

void TstCalderCryptor::wrongPassphraseGivesAnotherText()
{
    TCalderCryptor cryptor;
    const QString plain = cryptor.DecryptPassword(QStringLiteral("20k5WfD8"), QStringLiteral("planxover42"));
    QCOMPARE(plain.size(), 6);
    QVERIFY(plain != QStringLiteral("secret"));
}

QTEST_GUILESS_MAIN(TstCalderCryptor)
#include "tst_caldercryptor.moc"
