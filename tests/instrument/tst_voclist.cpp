// The VOC list from the results database (the throw-away server of the "db" fixture).

#include "instrument/VocList.h"

#include "PgTestServer.h"
#include "common/Prompter.h"

#include <QTest>

using namespace vx8;

class TstVocList : public QObject
{
    Q_OBJECT

private slots:
    void loadsInCodeOrder();
    void noDatabase();
};

void TstVocList::loadsInCodeOrder()
{
    const auto& server = test::PgTestServer::instance();
    QVERIFY2(server.loaded(), qPrintable(server.error()));
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TVocList list;
    QVERIFY(list.LoadVocList(server.settings(), &prompter));
    QVERIFY(prompter.records().isEmpty());
    QVERIFY(list.entries().size() >= 4);
    for (int i = 1; i < list.entries().size(); ++i)
        QVERIFY(list.entries()[i - 1].voccode <= list.entries()[i].voccode);
    QCOMPARE(list.GetVocName(2), QStringLiteral("Benzene"));
    const TVoc* acetone = list.find(1);
    QVERIFY(acetone);
    QCOMPARE(acetone->shortname, QStringLiteral("ACET"));
    QCOMPARE(acetone->factor, 117);
    QCOMPARE(acetone->dangeralarm, 10000);
    QCOMPARE(list.GetVocName(250), QStringLiteral("Unknown"));
}

void TstVocList::noDatabase()
{
    TDBSettings nowhere;
    nowhere.ServerName = QStringLiteral("127.0.0.1");
    nowhere.ServerPort = QStringLiteral("1"); // nothing listens there
    nowhere.DatabaseName = QStringLiteral("none");
    nowhere.UserName = QStringLiteral("none");
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TVocList list;
    list.setEntries({TVoc{7, QStringLiteral("Stale"), {}, 0, 0, 0, 0, 0}});
    QVERIFY(!list.LoadVocList(nowhere, &prompter));
    QCOMPARE(prompter.texts(),
             QStringList{QStringLiteral("Cannot Connect to Database!  Please check status of Database "
                                        "Server, restart the software and try again.")});
    QCOMPARE(list.GetVocName(7), QStringLiteral("Unknown"));
}

QTEST_GUILESS_MAIN(TstVocList)
#include "tst_voclist.moc"
