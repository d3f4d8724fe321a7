#pragma once

#include "DockDefDatabase.h"

#include <QList>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vx8 {

class Prompter;
class TDockEnumerator;

// "Network/Alias Dock Setup": the grid of the dock definition rows (serial, address, network
// connection mode, alias), a navigator that starts and ends editing, the network intervals and the
// "All Live/Listening/Disabled" and "Auto Detect" buttons. Not modal.
//
// The rights check (administrative level, or SHOP / "SupressLogin") is the caller's: this window
// does not ask for a login.
class TfrmDockSetup : public QWidget
{
    Q_OBJECT

public:
    enum Column { colSerial = 0, colAddress = 1, colMode = 2, colAlias = 3 };
    enum class State { Browse, Edit, Insert };

    // The three network settings the dialog shows and writes back on close.
    struct NetworkSettings
    {
        int verificationMinutes = 5; // NetworkVerificationInMinutes
        int listeningInterval = 10;  // ListeningModeInterval
        int listeningUnits = 1;      // ListeningModeUnits: 1 minutes, 2 hours, 3 days
    };
    // The settings as stored in the program key (the defaults above for missing or bad values).
    static NetworkSettings RegistrySettings();

    TfrmDockSetup(DockDefDatabase database, Prompter* prompter, QWidget* parent = nullptr);

    // Widgets, public so that the program and the tests drive them as a user would.
    QTableWidget* grid = nullptr;
    QPushButton *navFirst = nullptr, *navPrior = nullptr, *navNext = nullptr, *navLast = nullptr;
    QPushButton *navInsert = nullptr, *navDelete = nullptr, *navEdit = nullptr, *navPost = nullptr,
                *navCancel = nullptr;
    QComboBox* cmbVerification = nullptr;   // 2 .. 60 minutes
    QComboBox* cmbListenInterval = nullptr; // 1 .. 60
    QComboBox* cmbListenUnits = nullptr;    // Minute(s), Hour(s), Day(s)
    QPushButton *cbAllLive = nullptr, *cbAllListening = nullptr, *cbAllDisabled = nullptr,
                *cbAutoDetect = nullptr;
    QLabel* statusPanel = nullptr;

    void setSettings(const NetworkSettings& settings) { m_settings = settings; }
    const NetworkSettings& settings() const { return m_settings; }
    // Called by UpdateGlobalOptions with the values chosen (the program copies them into its globals).
    std::function<void(const NetworkSettings&)> OnSettingsChanged;

    // Discovery: with an enumerator set, "Auto Detect" starts a round and each answer is registered.
    void setEnumerator(TDockEnumerator* enumerator);
    void setNetworkDocksEnabled(bool enabled) { m_networkDocksEnabled = enabled; }
    // Set when discovery added an unknown dock (the program's NewNetworkDocks).
    std::function<void()> OnNewNetworkDock;

    State state() const { return m_state; }
    const QList<DockDefDatabase::Row>& rows() const { return m_rows; }
    const DockDefDatabase::Counts& counts() const { return m_counts; }
    int currentRow() const;

    void FormShow();
    // Shows the message, takes the values of the combos and writes them to the registry.
    void FormClose();
    void LoadControls();
    void UpdateGlobalOptions();
    bool SaveNewDefaults();
    void UpdateStatusBar();
    // Re-reads the rows (the grid's re-query); keeps the row with this rowid current when given.
    bool Requery(qint64 keepRowid = -1);

    // Navigator.
    void First();
    void Prior();
    void Next();
    void Last();
    bool Insert();
    bool Edit();
    bool Delete();
    // ADOQuery1BeforePost then the save and ADOQuery1AfterPost; false (still editing) when refused.
    bool Post();
    void Cancel();

    void cbAllLiveClick();
    void cbAllListeningClick();
    void cbAllDisabledClick();
    bool UpdateAllRecords(const QString& mode);
    void StartAutoDetect();
    void DockEnumerator1ListChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void fillRow(int r, const DockDefDatabase::Row& row);
    void setRowEditable(int r, bool editable);
    void updateButtons();
    bool leaveEditing(); // posts a pending edit before moving or closing
    void moveTo(int r);

    DockDefDatabase m_db;
    Prompter* m_prompter;
    TDockEnumerator* m_enumerator = nullptr;
    bool m_networkDocksEnabled = true;
    NetworkSettings m_settings;
    QList<DockDefDatabase::Row> m_rows;
    DockDefDatabase::Counts m_counts;
    State m_state = State::Browse;
    int m_editRow = -1;
    bool m_filling = false;
};

} // namespace vx8
