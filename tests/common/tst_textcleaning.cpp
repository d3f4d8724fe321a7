#include "common/TextCleaning.h"

#include <QtTest>

using namespace vx8;

class TestTextCleaning : public QObject
{
    Q_OBJECT
private slots:
    void cleanText_data();
    void cleanText();
    void everyCharacterCode();
};

void TestTextCleaning::cleanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lot number kept") << "Lot 123-A/7"
                                     << " "
                                     << "Lot 123-A/7";
    QTest::newRow("trimmed") << "  PO,55.  "
                             << " "
                             << "PO,55.";
    QTest::newRow("inner blanks kept") << "a  b"
                                       << " "
                                       << "a  b";
    QTest::newRow("kept punctuation") << "!#$%&'"
                                      << " "
                                      << "!#$%&'";
    QTest::newRow("comma to nine") << ",-./0123456789"
                                   << " "
                                   << ",-./0123456789";
    QTest::newRow("double quote dropped") << "a\"b"
                                          << " "
                                          << "ab";
    QTest::newRow("40 to 43 dropped") << "a()*+b"
                                      << " "
                                      << "ab";
    QTest::newRow("58 to 64 dropped") << "a:;<=>?@b"
                                      << " "
                                      << "ab";
    QTest::newRow("91 to 96 dropped") << "a[\\]^_`b"
                                      << " "
                                      << "ab";
    QTest::newRow("123 to 127 dropped") << QString::fromLatin1("a{|}~\x7f"
                                                               "b")
                                        << " "
                                        << "ab";
    QTest::newRow("control characters dropped") << "a\tb\r\nc\x01"
                                                << " "
                                                << "abc";
    QTest::newRow("non-ASCII letters dropped") << QString::fromUtf8("Gr\u00F6\u00DFe \u2713") << " "
                                               << "Gre";
    QTest::newRow("blank only after cleaning") << QString::fromUtf8(" \u00E9 ") << "N/A"
                                               << "N/A";
    QTest::newRow("empty gives default") << ""
                                         << "N/A"
                                         << "N/A";
    QTest::newRow("everything dropped") << "***"
                                        << " "
                                        << " ";
    QTest::newRow("dropped characters inside blanks") << " (x) "
                                                      << "d"
                                                      << "x";
    QTest::newRow("quote and semicolon") << "'; DROP"
                                         << " "
                                         << "' DROP";
}

void TestTextCleaning::cleanText()
{
    QFETCH(QString, text);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    QCOMPARE(CleanText(text, defaultText), expected);
}

// Every character code 0..255 between two letters: kept exactly when it is in one of the kept ranges.
void TestTextCleaning::everyCharacterCode()
{
    for (int code = 0; code < 256; ++code) {
        const bool kept = code == 32 || code == 33 || (code >= 35 && code <= 39) ||
                          (code >= 44 && code <= 57) || (code >= 65 && code <= 90) ||
                          (code >= 97 && code <= 122);
        const QChar c = QChar(char16_t(code));
        const QString text = QStringLiteral("a") + c + QStringLiteral("b");
        const QString expected = kept ? text : QStringLiteral("ab");
        QVERIFY2(CleanText(text, QStringLiteral("-")) == expected, qPrintable(QString::number(code)));
    }
}

QTEST_GUILESS_MAIN(TestTextCleaning)
#include "tst_textcleaning.moc"
