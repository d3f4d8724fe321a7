#include "app/dockdefs/DockDefDatabase.h"
#include "app/dockdefs/DockSetupDialog.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace vx8;

namespace {

const QString BadAddress =
    QStringLiteral("IP Address must be in xxx.xxx.xxx.xxx format and the range of xxx must be 0 to 255!");
const QString LiveLimit = QStringLiteral("The maximum number of LIVE mode docks has been exceed(50)");

DockDefDatabase::Row makeRow(int serial, const QString& address, const QString& mode, const QString& alias = {})
{
    DockDefDatabase::Row r;
    r.serial = QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
    r.address = address;
    r.mode = mode;
    r.alias = alias;
    return r;
}

void setCell(TfrmDockSetup& dlg, int row, int column, const QString& text)
{
    QTableWidgetItem* item = dlg.grid->item(row, column);
    QVERIFY(item);
    QVERIFY2(item->flags() & Qt::ItemIsEditable, "the row is not being edited");
    item->setText(text);
}

bool prompted(const UnattendedPrompter& p, const QString& text)
{
    for (const auto& r : p.records()) {
        if (r.text.contains(text)) {
            return true;
        }
    }
    return false;
}

} // namespace

class TestDockSetup : public QObject
{
    Q_OBJECT

private slots:
    void editRefusedThenSavedAndShownAgain();
    void insertedRowStoredInNormalForm();
    void liveLimitRefusesTheFiftyFirstRow();
    void settingsWrittenOnCloseWithGuardedCombos();
};

void TestDockSetup::editRefusedThenSavedAndShownAgain()
{
    test::TempHome home;
    DockDefDatabase db;
    QVERIFY(DockDefDatabase::create(db.path()));
    auto stored = makeRow(12, QStringLiteral("127.0.0.2"), QStringLiteral("DISABLED"), QStringLiteral("old"));
    QVERIFY(db.SaveRow(stored));

    UnattendedPrompter prompter;
    prompter.setEcho(false);
    {
        TfrmDockSetup dlg(db, &prompter);
        dlg.show();
        QCOMPARE(dlg.grid->rowCount(), 1);
        QCOMPARE(dlg.statusPanel->text(), QStringLiteral("Docks: 1 (LIVE: 0 / LISTENING: 0 / DISABLED: 1)"));
        // Cells are read-only until the navigator starts the edit.
        QVERIFY(!(dlg.grid->item(0, TfrmDockSetup::colAlias)->flags() & Qt::ItemIsEditable));
        dlg.grid->setCurrentCell(0, 0);
        dlg.navEdit->click();
        QCOMPARE(dlg.state(), TfrmDockSetup::State::Edit);
        setCell(dlg, 0, TfrmDockSetup::colAddress, QStringLiteral("127.0.0.256"));
        setCell(dlg, 0, TfrmDockSetup::colAlias, QStringLiteral("Bay 1"));
        setCell(dlg, 0, TfrmDockSetup::colMode, QStringLiteral("LIVE"));

        dlg.navPost->click();
        QCOMPARE(dlg.state(), TfrmDockSetup::State::Edit); // refused: still editing
        QCOMPARE(prompter.records().size(), 1);
        QCOMPARE(prompter.records().first().kind, Prompter::Kind::Error);
        QCOMPARE(prompter.records().first().text, BadAddress);
        const auto afterRefusal = db.Rows();
        QVERIFY(afterRefusal && afterRefusal->size() == 1);
        QCOMPARE(afterRefusal->first().address, QStringLiteral("127.0.0.2"));
        QCOMPARE(afterRefusal->first().alias, QStringLiteral("old"));
        QCOMPARE(afterRefusal->first().mode, QStringLiteral("DISABLED"));

        // Leading zeros are dropped when the row is stored.
        setCell(dlg, 0, TfrmDockSetup::colAddress, QStringLiteral("127.000.000.003"));
        prompter.clear();
        dlg.navPost->click();
        QVERIFY2(prompter.records().isEmpty(), qPrintable(prompter.texts().join(u'|')));
        QCOMPARE(dlg.state(), TfrmDockSetup::State::Browse);
        QCOMPARE(dlg.statusPanel->text(), QStringLiteral("Docks: 1 (LIVE: 1 / LISTENING: 0 / DISABLED: 0)"));
        dlg.close();
        QVERIFY(prompted(prompter, QStringLiteral("will not be reflected until the software is restarted!")));
    }

    const auto rows = db.Rows();
    QVERIFY(rows && rows->size() == 1);
    QCOMPARE(rows->first().address, QStringLiteral("127.0.0.3"));
    QCOMPARE(rows->first().alias, QStringLiteral("Bay 1"));
    QCOMPARE(rows->first().mode, QStringLiteral("LIVE"));
    QCOMPARE(rows->first().updateDockName, 1);

    TfrmDockSetup again(db, &prompter);
    again.show();
    QCOMPARE(again.grid->rowCount(), 1);
    QCOMPARE(again.grid->item(0, TfrmDockSetup::colSerial)->text(), QStringLiteral("00012"));
    QCOMPARE(again.grid->item(0, TfrmDockSetup::colAddress)->text(), QStringLiteral("127.0.0.3"));
    QCOMPARE(again.grid->item(0, TfrmDockSetup::colMode)->text(), QStringLiteral("LIVE"));
    QCOMPARE(again.grid->item(0, TfrmDockSetup::colAlias)->text(), QStringLiteral("Bay 1"));
}

void TestDockSetup::insertedRowStoredInNormalForm()
{
    test::TempHome home;
    DockDefDatabase db;
    QVERIFY(DockDefDatabase::create(db.path()));
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfrmDockSetup dlg(db, &prompter);
    dlg.show();
    QCOMPARE(dlg.grid->rowCount(), 0);
    dlg.navInsert->click();
    QCOMPARE(dlg.state(), TfrmDockSetup::State::Insert);
    setCell(dlg, 0, TfrmDockSetup::colSerial, QStringLiteral("12a"));
    setCell(dlg, 0, TfrmDockSetup::colAddress, QStringLiteral("127.0.0.4"));
    dlg.navPost->click();
    QCOMPARE(prompter.texts(), QStringList{QStringLiteral("Serial Number must be Numeric!")});
    QVERIFY(db.Rows()->isEmpty());

    setCell(dlg, 0, TfrmDockSetup::colSerial, QStringLiteral("12"));
    dlg.navPost->click();
    QCOMPARE(prompter.records().size(), 1);
    QCOMPARE(dlg.state(), TfrmDockSetup::State::Browse);
    const auto rows = db.Rows();
    QVERIFY(rows && rows->size() == 1);
    QCOMPARE(rows->first().serial, QStringLiteral("00012"));
    QCOMPARE(rows->first().mode, QStringLiteral("DISABLED"));
    QCOMPARE(dlg.grid->item(0, TfrmDockSetup::colSerial)->text(), QStringLiteral("00012"));

    // Cancel drops an insert without storing anything.
    dlg.navInsert->click();
    setCell(dlg, 0, TfrmDockSetup::colSerial, QStringLiteral("13"));
    dlg.navCancel->click();
    QCOMPARE(dlg.grid->rowCount(), 1);
    QCOMPARE(db.Rows()->size(), 1);
}

void TestDockSetup::liveLimitRefusesTheFiftyFirstRow()
{
    test::TempHome home;
    DockDefDatabase db;
    QVERIFY(DockDefDatabase::create(db.path()));
    for (int i = 1; i <= DockDefDatabase::MaxLiveDocks; ++i) {
        auto r = makeRow(i, QStringLiteral("127.0.1.%1").arg(i), QStringLiteral("LIVE"));
        QVERIFY(db.SaveRow(r));
    }
    auto spare = makeRow(99, QStringLiteral("127.0.2.1"), QStringLiteral("DISABLED"));
    QVERIFY(db.SaveRow(spare));

    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfrmDockSetup dlg(db, &prompter);
    dlg.show();
    QCOMPARE(dlg.counts().live, 50);

    // A row that is LIVE already is counted once: at 50 its alias can still be changed.
    dlg.grid->setCurrentCell(0, 0);
    QVERIFY(dlg.Edit());
    setCell(dlg, 0, TfrmDockSetup::colAlias, QStringLiteral("renamed"));
    QVERIFY2(dlg.Post(), qPrintable(prompter.texts().join(u'|')));
    QVERIFY(prompter.records().isEmpty());
    QCOMPARE(db.Rows()->first().alias, QStringLiteral("renamed"));

    // The 51st LIVE row is refused with the limit message; nothing is stored.
    dlg.Last();
    QVERIFY(dlg.Edit());
    setCell(dlg, dlg.grid->currentRow(), TfrmDockSetup::colMode, QStringLiteral("LIVE"));
    QVERIFY(!dlg.Post());
    QVERIFY(prompter.records().size() == 1 && prompter.records().first().text.startsWith(LiveLimit));
    QCOMPARE(db.Rows()->last().mode, QStringLiteral("DISABLED"));
    QCOMPARE(db.CountRows()->live, 50);
}

void TestDockSetup::settingsWrittenOnCloseWithGuardedCombos()
{
    test::TempHome home;
    DockDefDatabase db;
    QVERIFY(DockDefDatabase::create(db.path()));
    QVERIFY(WriteRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes"), QStringLiteral("1")));
    QVERIFY(WriteRegistryString(RegKey::Program, QStringLiteral("ListeningModeInterval"), QStringLiteral("90")));
    QVERIFY(WriteRegistryString(RegKey::Program, QStringLiteral("ListeningModeUnits"), QStringLiteral("7")));

    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfrmDockSetup::NetworkSettings reported;
    {
        TfrmDockSetup dlg(db, &prompter);
        dlg.OnSettingsChanged = [&](const TfrmDockSetup::NetworkSettings& s) { reported = s; };
        dlg.show();
        QCOMPARE(dlg.cmbVerification->currentText(), QStringLiteral("2"));
        QCOMPARE(dlg.cmbListenInterval->currentText(), QStringLiteral("12"));
        QCOMPARE(dlg.cmbListenUnits->currentText(), QStringLiteral("Hour(s)"));
        dlg.cmbVerification->setCurrentText(QStringLiteral("15"));
        dlg.cmbListenUnits->setCurrentIndex(2);
        dlg.close();
    }
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes")), QStringLiteral("15"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("ListeningModeInterval")), QStringLiteral("12"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("ListeningModeUnits")), QStringLiteral("3"));
    QCOMPARE(reported.verificationMinutes, 15);
    QCOMPARE(reported.listeningUnits, 3);
}

QTEST_MAIN(TestDockSetup)
#include "tst_docksetup.moc"
