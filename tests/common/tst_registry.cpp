#include "common/Registry.h"
#include "TestSupport.h"

#include <QFile>
#include <QtTest>

using namespace vx8;

class TestRegistry : public QObject
{
    Q_OBJECT
private slots:
    void roundTripValues_data();
    void roundTripValues();
    void namesCompareCaseInsensitively();
    void missingKeyAndValue();
    void deleteValueCreatesKey();
    void rewriteIsAtomicAndKeepsOtherKeys();
    void readsExportWithRootPrefix();
};

void TestRegistry::roundTripValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "10";
    QTest::newRow("empty") << "";
    QTest::newRow("commas") << "a,b,,c";
    QTest::newRow("quotes") << "say \"hi\" \"";
    QTest::newRow("backslashes") << "C:\\QC\\dir\\";
    QTest::newRow("equals and brackets") << "x=\"y\"] [z";
    QTest::newRow("non-latin") << QString::fromUtf8("Größe ✓");
}

void TestRegistry::roundTripValues()
{
    QFETCH(QString, value);
    test::TempHome home;
    QVERIFY(WriteRegistryString(RegKey::Program, "Value", value));
    QCOMPARE(ReadRegistryString(RegKey::Program, "Value"), value);
    // A second object on the same file sees it too: it went through the file.
    Registry other(home.registryPath());
    QCOMPARE(other.value(RegKey::Program, "Value").value_or("<missing>"), value);
}

void TestRegistry::namesCompareCaseInsensitively()
{
    test::TempHome home;
    QVERIFY(WriteRegistryString("Software\\Calderwick\\VX8", "DockTimeout", "12"));
    QCOMPARE(ReadRegistryString("SOFTWARE\\calderwick\\vx8", "docktimeout"), QString("12"));
    QVERIFY(WriteRegistryString("software\\CALDERWICK\\vx8", "DOCKTIMEOUT", "15"));
    QFile f(home.registryPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    // One key, one value, first spelling kept.
    QCOMPARE(text.count("[HKEY_LOCAL_MACHINE\\", Qt::CaseInsensitive), 1);
    QVERIFY(text.contains("\"DockTimeout\"=\"15\""));
}

void TestRegistry::missingKeyAndValue()
{
    test::TempHome home;
    QCOMPARE(ReadRegistryString(RegKey::Program, "Nothing"), QString());
    QVERIFY(WriteRegistryString(RegKey::Program, "A", "1"));
    QCOMPARE(ReadRegistryString(RegKey::Program, "Nothing"), QString());
    QVERIFY(!Registry::machine().value(RegKey::QC, "QCDir").has_value());
    QVERIFY(!Registry::machine().keyExists(RegKey::QC));
}

void TestRegistry::deleteValueCreatesKey()
{
    test::TempHome home;
    QVERIFY(DeleteRegistryValue(RegKey::Program, "NetworkVerifyInterval"));
    QVERIFY(Registry::machine().keyExists(RegKey::Program));
    QVERIFY(WriteRegistryString(RegKey::Program, "NetworkVerifyInterval", "3"));
    QVERIFY(WriteRegistryString(RegKey::Program, "Keep", "k"));
    QVERIFY(DeleteRegistryValue(RegKey::Program, "networkverifyinterval"));
    QVERIFY(!Registry::machine().value(RegKey::Program, "NetworkVerifyInterval").has_value());
    QCOMPARE(ReadRegistryString(RegKey::Program, "Keep"), QString("k"));
}

void TestRegistry::rewriteIsAtomicAndKeepsOtherKeys()
{
    test::TempHome home;
    QVERIFY(WriteRegistryString(RegKey::Database, "ServerName", "127.0.0.1"));
    QVERIFY(WriteRegistryString(RegKey::Program, "SoftwareType", "10"));
    // Another program rewrote the file between our writes: its values survive ours.
    Registry other(home.registryPath());
    QVERIFY(other.setValue(RegKey::Family, "SupressLogin", "YES"));
    QVERIFY(WriteRegistryString(RegKey::Program, "SoftwareType", "100"));
    QCOMPARE(ReadRegistryString(RegKey::Family, "SupressLogin"), QString("YES"));
    QCOMPARE(ReadRegistryString(RegKey::Database, "ServerName"), QString("127.0.0.1"));
    QCOMPARE(ReadRegistryString(RegKey::Program, "SoftwareType"), QString("100"));
    // No temporary file or lock left next to it.
    const QStringList left = QDir(home.folder()).entryList(QDir::Files);
    QCOMPARE(left, QStringList{"registry.reg"});
}

void TestRegistry::readsExportWithRootPrefix()
{
    test::TempHome home;
    QVERIFY(home.writeFile("registry.reg", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                                           "[HKEY_LOCAL_MACHINE\\Software\\Calderwick\\VX8]\r\n"
                                           "\"SoftwareType\"=\"999\"\r\n"
                                           "\"Bin\"=dword:00000001\r\n"
                                           "\"Path\"=\"C:\\\\QC\"\r\n"));
    QCOMPARE(ReadRegistryString(RegKey::Program, "SoftwareType"), QString("999"));
    QCOMPARE(ReadRegistryString(RegKey::Program, "Path"), QString("C:\\QC"));
    QCOMPARE(ReadRegistryString(RegKey::Program, "Bin"), QString()); // only strings are kept
    QCOMPARE(ReadRegistryString(RegKey::Program, "X").size(), 0);
    QVERIFY(WriteRegistryString(RegKey::Program, "Long", QString(600, 'a')));
    QCOMPARE(ReadRegistryString(RegKey::Program, "Long").size(), 512);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
