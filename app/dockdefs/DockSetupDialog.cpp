#include "DockSetupDialog.h"

#include "DockEnumerator.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/Trace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vx8 {

namespace {

const QStringList Modes{QStringLiteral("DISABLED"), QStringLiteral("LIVE"), QStringLiteral("LISTENING")};

// The pick list of the "Network Connection" column.
class ModeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* box = new QComboBox(parent);
        box->addItems(Modes);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* box = static_cast<QComboBox*>(editor);
        const int i = box->findText(index.data().toString().trimmed().toUpper());
        box->setCurrentIndex(i < 0 ? 0 : i);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

int registryInt(const QString& name, int fallback)
{
    bool ok = false;
    const int v = ReadRegistryString(RegKey::Program, name).trimmed().toInt(&ok);
    return ok && v != 0 ? v : fallback;
}

const QString ConnectionFailed = QStringLiteral("Dock Setup Database Connection Failed");

} // namespace

TfrmDockSetup::NetworkSettings TfrmDockSetup::RegistrySettings()
{
    NetworkSettings s;
    s.verificationMinutes = registryInt(QStringLiteral("NetworkVerificationInMinutes"), s.verificationMinutes);
    s.listeningInterval = registryInt(QStringLiteral("ListeningModeInterval"), s.listeningInterval);
    s.listeningUnits = registryInt(QStringLiteral("ListeningModeUnits"), s.listeningUnits);
    return s;
}

TfrmDockSetup::TfrmDockSetup(DockDefDatabase database, Prompter* prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), m_db(std::move(database)), m_prompter(prompter),
      m_settings(RegistrySettings())
{
    build();
}

void TfrmDockSetup::build()
{
    setWindowTitle(QStringLiteral("Network/Alias Dock Setup"));
    setFixedSize(850, 555);

    auto* top = new QVBoxLayout(this);
    grid = new QTableWidget(0, 4, this);
    grid->setHorizontalHeaderLabels({QStringLiteral("Serial Number"), QStringLiteral("IP Address"),
                                     QStringLiteral("Network Connection"), QStringLiteral("Alias")});
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setItemDelegateForColumn(colMode, new ModeDelegate(grid));
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->setVisible(false);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                          | QAbstractItemView::AnyKeyPressed);
    top->addWidget(grid, 1);

    auto* nav = new QHBoxLayout;
    const auto navButton = [this, nav](const QString& text, const QString& hint) {
        auto* b = new QPushButton(text, this);
        b->setToolTip(hint);
        nav->addWidget(b);
        return b;
    };
    navFirst = navButton(QStringLiteral("|<"), QStringLiteral("First record"));
    navPrior = navButton(QStringLiteral("<"), QStringLiteral("Prior record"));
    navNext = navButton(QStringLiteral(">"), QStringLiteral("Next record"));
    navLast = navButton(QStringLiteral(">|"), QStringLiteral("Last record"));
    navInsert = navButton(QStringLiteral("+"), QStringLiteral("Insert record"));
    navDelete = navButton(QStringLiteral("-"), QStringLiteral("Delete record"));
    navEdit = navButton(QStringLiteral("Edit"), QStringLiteral("Edit record"));
    navPost = navButton(QStringLiteral("Post"), QStringLiteral("Post edit"));
    navCancel = navButton(QStringLiteral("Cancel"), QStringLiteral("Cancel edit"));
    nav->addStretch();
    top->addLayout(nav);
    connect(navFirst, &QPushButton::clicked, this, &TfrmDockSetup::First);
    connect(navPrior, &QPushButton::clicked, this, &TfrmDockSetup::Prior);
    connect(navNext, &QPushButton::clicked, this, &TfrmDockSetup::Next);
    connect(navLast, &QPushButton::clicked, this, &TfrmDockSetup::Last);
    connect(navInsert, &QPushButton::clicked, this, [this] { Insert(); });
    connect(navDelete, &QPushButton::clicked, this, [this] { Delete(); });
    connect(navEdit, &QPushButton::clicked, this, [this] { Edit(); });
    connect(navPost, &QPushButton::clicked, this, [this] { Post(); });
    connect(navCancel, &QPushButton::clicked, this, &TfrmDockSetup::Cancel);

    auto* bottom = new QHBoxLayout;
    auto* network = new QGroupBox(QStringLiteral("Network Connection"), this);
    auto* nl = new QVBoxLayout(network);
    auto* verify = new QHBoxLayout;
    verify->addWidget(new QLabel(QStringLiteral("Verify Network Connection Every"), network));
    cmbVerification = new QComboBox(network);
    for (int m = 2; m <= 60; ++m) {
        cmbVerification->addItem(QString::number(m));
    }
    cmbVerification->setToolTip(
        QStringLiteral("The network connection will be verified every 'x' minutes when the dock is inactive"));
    verify->addWidget(cmbVerification);
    verify->addWidget(new QLabel(QStringLiteral("min(s)"), network));
    nl->addLayout(verify);
    auto* all = new QHBoxLayout;
    cbAllLive = new QPushButton(QStringLiteral("All &Live"), network);
    cbAllLive->setToolTip(QStringLiteral("Sets All Docks to 'Live' Mode"));
    cbAllListening = new QPushButton(QStringLiteral("All &Listening"), network);
    cbAllListening->setToolTip(QStringLiteral("Sets All Docks to 'Listening' Mode.  The docks will checked for "
                                              "test records based on the Query Interval."));
    cbAllDisabled = new QPushButton(QStringLiteral("All &Disabled"), network);
    cbAllDisabled->setToolTip(
        QStringLiteral("Disables all network connections to Docks.  USB connections are allowed."));
    all->addWidget(cbAllLive);
    all->addWidget(cbAllListening);
    all->addWidget(cbAllDisabled);
    nl->addLayout(all);
    bottom->addWidget(network);

    auto* listening = new QGroupBox(QStringLiteral("Listening Mode Docks"), this);
    auto* ll = new QHBoxLayout(listening);
    ll->addWidget(new QLabel(QStringLiteral("Query Every"), listening));
    cmbListenInterval = new QComboBox(listening);
    for (int i = 1; i <= 60; ++i) {
        cmbListenInterval->addItem(QString::number(i));
    }
    cmbListenUnits = new QComboBox(listening);
    cmbListenUnits->addItems({QStringLiteral("Minute(s)"), QStringLiteral("Hour(s)"), QStringLiteral("Day(s)")});
    const QString hint = QStringLiteral("The interval in hours when a dock in 'Listening' mode will be checked for "
                                        "test records.  If test records exist, they will be added to database");
    cmbListenInterval->setToolTip(hint);
    cmbListenUnits->setToolTip(hint);
    ll->addWidget(cmbListenInterval);
    ll->addWidget(cmbListenUnits);
    bottom->addWidget(listening);

    cbAutoDetect = new QPushButton(QStringLiteral("Auto Detect"), this);
    bottom->addWidget(cbAutoDetect);
    top->addLayout(bottom);

    statusPanel = new QLabel(this);
    statusPanel->setFrameShape(QFrame::StyledPanel);
    top->addWidget(statusPanel);

    connect(cbAllLive, &QPushButton::clicked, this, &TfrmDockSetup::cbAllLiveClick);
    connect(cbAllListening, &QPushButton::clicked, this, &TfrmDockSetup::cbAllListeningClick);
    connect(cbAllDisabled, &QPushButton::clicked, this, &TfrmDockSetup::cbAllDisabledClick);
    connect(cbAutoDetect, &QPushButton::clicked, this, &TfrmDockSetup::StartAutoDetect);
    // A click on another row while editing posts the pending edit first (and stays when refused).
    connect(grid, &QTableWidget::currentCellChanged, this, [this](int r, int, int previous, int) {
        if (m_filling || m_state == State::Browse || r == previous || r == m_editRow) {
            return;
        }
        if (!leaveEditing()) {
            m_filling = true;
            grid->setCurrentCell(m_editRow, 0);
            m_filling = false;
        }
    });
    updateButtons();
}

int TfrmDockSetup::currentRow() const
{
    return grid->currentRow();
}

void TfrmDockSetup::setEnumerator(TDockEnumerator* enumerator)
{
    m_enumerator = enumerator;
    if (m_enumerator) {
        m_enumerator->OnListChanged = [this](QObject*) { DockEnumerator1ListChanged(); };
    }
}

void TfrmDockSetup::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TfrmDockSetup::closeEvent(QCloseEvent* event)
{
    // A pending edit is posted rather than dropped; when it is refused the window stays open so the
    // user can mend it or cancel it.
    if (m_state != State::Browse && !leaveEditing()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TfrmDockSetup::FormShow()
{
    LocalDebugString(QStringLiteral("TfrmDockSetup.FormShow"), lcApp());
    if (m_state == State::Browse) {
        Requery();
    }
    LoadControls();
    UpdateStatusBar();
}

void TfrmDockSetup::FormClose()
{
    LocalDebugString(QStringLiteral("TfrmDockSetup.FormClose"), lcApp());
    if (m_prompter) {
        m_prompter->inform(
            QStringLiteral("Any changes made to the Dock Setup will not be reflected until the software is restarted!"));
    }
    UpdateGlobalOptions();
    SaveNewDefaults();
}

void TfrmDockSetup::LoadControls()
{
    cmbVerification->setCurrentIndex(std::clamp(m_settings.verificationMinutes, 2, 60) - 2);
    const int interval = m_settings.listeningInterval;
    cmbListenInterval->setCurrentIndex(interval >= 1 && interval <= 60 ? interval - 1 : 11);
    // Three units only: a stored value outside 1 .. 3 shows hours rather than an empty choice.
    const int units = m_settings.listeningUnits;
    cmbListenUnits->setCurrentIndex(units >= 1 && units <= cmbListenUnits->count() ? units - 1 : 1);
}

void TfrmDockSetup::UpdateGlobalOptions()
{
    m_settings.verificationMinutes = std::max(cmbVerification->currentIndex(), 0) + 2;
    m_settings.listeningInterval = std::max(cmbListenInterval->currentIndex(), 0) + 1;
    m_settings.listeningUnits = std::max(cmbListenUnits->currentIndex(), 0) + 1;
    if (OnSettingsChanged) {
        OnSettingsChanged(m_settings);
    }
}

bool TfrmDockSetup::SaveNewDefaults()
{
    bool ok = true;
    const auto write = [&](const QString& name, int value, const QString& failure) {
        if (!WriteRegistryString(RegKey::Program, name, QString::number(value))) {
            ok = false;
            if (m_prompter) {
                m_prompter->warn(failure);
            }
        }
    };
    write(QStringLiteral("NetworkVerificationInMinutes"), m_settings.verificationMinutes,
          QStringLiteral(" Could not update Registry with updated \"Network Inactive Verification Interval\" value! "));
    write(QStringLiteral("ListeningModeInterval"), m_settings.listeningInterval,
          QStringLiteral(" Could not update Registry with updated \"Network Listening Mode Interval\" value! "));
    write(QStringLiteral("ListeningModeUnits"), m_settings.listeningUnits,
          QStringLiteral(" Could not update Registry with updated \"Network Listening Mode Untis\" value! "));
    return ok;
}

void TfrmDockSetup::UpdateStatusBar()
{
    const auto counts = m_db.CountRows();
    if (!counts) {
        statusPanel->setText(QStringLiteral("Dock Setup Database Connection Failed!!!!"));
        return;
    }
    m_counts = *counts;
    statusPanel->setText(QStringLiteral("Docks: %1 (LIVE: %2 / LISTENING: %3 / DISABLED: %4)")
                             .arg(m_counts.all)
                             .arg(m_counts.live)
                             .arg(m_counts.listening)
                             .arg(m_counts.disabled));
}

void TfrmDockSetup::fillRow(int r, const DockDefDatabase::Row& row)
{
    const QStringList values{row.serial, row.address, row.mode, row.alias};
    for (int c = 0; c < values.size(); ++c) {
        auto* item = new QTableWidgetItem(values[c]);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        grid->setItem(r, c, item);
    }
}

void TfrmDockSetup::setRowEditable(int r, bool editable)
{
    for (int c = 0; c < grid->columnCount(); ++c) {
        if (auto* item = grid->item(r, c)) {
            item->setFlags(editable ? item->flags() | Qt::ItemIsEditable : item->flags() & ~Qt::ItemIsEditable);
        }
    }
}

bool TfrmDockSetup::Requery(qint64 keepRowid)
{
    const int before = grid->currentRow();
    auto rows = m_db.Rows();
    m_filling = true;
    grid->setRowCount(0);
    m_rows.clear();
    m_state = State::Browse;
    m_editRow = -1;
    bool ok = rows.has_value();
    if (ok) {
        m_rows = *rows;
        grid->setRowCount(int(m_rows.size()));
        int keep = -1;
        for (int r = 0; r < m_rows.size(); ++r) {
            fillRow(r, m_rows[r]);
            if (keepRowid >= 0 && m_rows[r].rowid == keepRowid) {
                keep = r;
            }
        }
        if (keep < 0 && !m_rows.isEmpty()) {
            keep = std::clamp(before, 0, int(m_rows.size()) - 1);
        }
        if (keep >= 0) {
            grid->setCurrentCell(keep, 0);
        }
    } else {
        statusPanel->setText(QStringLiteral("Dock Setup Database Connection Failed!!!!"));
    }
    m_filling = false;
    updateButtons();
    return ok;
}

void TfrmDockSetup::updateButtons()
{
    const bool browsing = m_state == State::Browse;
    const bool hasRow = browsing && grid->currentRow() >= 0;
    navInsert->setEnabled(browsing);
    navEdit->setEnabled(hasRow);
    navDelete->setEnabled(hasRow);
    navPost->setEnabled(!browsing);
    navCancel->setEnabled(!browsing);
    cbAllLive->setEnabled(browsing);
    cbAllListening->setEnabled(browsing);
    cbAllDisabled->setEnabled(browsing);
}

bool TfrmDockSetup::leaveEditing()
{
    return m_state == State::Browse || Post();
}

void TfrmDockSetup::moveTo(int r)
{
    if (grid->rowCount() == 0 || !leaveEditing()) {
        return;
    }
    grid->setCurrentCell(std::clamp(r, 0, grid->rowCount() - 1), std::max(grid->currentColumn(), 0));
    updateButtons();
}

void TfrmDockSetup::First()
{
    moveTo(0);
}

void TfrmDockSetup::Prior()
{
    moveTo(grid->currentRow() - 1);
}

void TfrmDockSetup::Next()
{
    moveTo(grid->currentRow() + 1);
}

void TfrmDockSetup::Last()
{
    moveTo(grid->rowCount() - 1);
}

bool TfrmDockSetup::Insert()
{
    if (m_state != State::Browse) {
        return false;
    }
    m_filling = true;
    const int r = std::max(grid->currentRow(), 0);
    grid->insertRow(r);
    DockDefDatabase::Row fresh;
    fresh.mode = QStringLiteral("DISABLED");
    fillRow(r, fresh);
    setRowEditable(r, true);
    m_state = State::Insert;
    m_editRow = r;
    grid->setCurrentCell(r, colSerial);
    m_filling = false;
    updateButtons();
    return true;
}

bool TfrmDockSetup::Edit()
{
    const int r = grid->currentRow();
    if (m_state != State::Browse || r < 0 || r >= m_rows.size()) {
        return false;
    }
    setRowEditable(r, true);
    m_state = State::Edit;
    m_editRow = r;
    updateButtons();
    return true;
}

bool TfrmDockSetup::Delete()
{
    const int r = grid->currentRow();
    if (m_state != State::Browse || r < 0 || r >= m_rows.size()) {
        return false;
    }
    if (m_prompter && !m_prompter->confirm(QStringLiteral("Delete record?"), Prompter::No)) {
        return false;
    }
    if (!m_db.DeleteRow(m_rows[r].rowid)) {
        if (m_prompter) {
            m_prompter->error(ConnectionFailed);
        }
        return false;
    }
    Requery();
    UpdateStatusBar();
    return true;
}

bool TfrmDockSetup::Post()
{
    if (m_state == State::Browse || m_editRow < 0) {
        return false;
    }
    // Close an open cell editor so that its text is in the row.
    if (auto* editor = QApplication::focusWidget(); editor && grid->isAncestorOf(editor)) {
        grid->setFocus();
    }
    grid->closePersistentEditor(grid->currentItem());
    const int r = m_editRow;
    DockDefDatabase::Row row;
    QString previousMode;
    if (m_state == State::Edit) {
        row = m_rows[r];
        previousMode = row.mode;
    }
    const auto text = [this, r](int c) { return grid->item(r, c) ? grid->item(r, c)->text() : QString(); };
    row.serial = text(colSerial);
    row.address = text(colAddress);
    row.mode = text(colMode);
    row.alias = text(colAlias);
    // ADOQuery1BeforePost: the messages of every failed check; the row stays in editing.
    if (!DockDefDatabase::ValidateRow(row, previousMode, m_counts, m_prompter)) {
        grid->viewport()->update();
        return false;
    }
    if (!m_db.SaveRow(row)) {
        if (m_prompter) {
            m_prompter->error(ConnectionFailed);
        }
        return false;
    }
    // ADOQuery1AfterPost.
    Requery(row.rowid);
    UpdateStatusBar();
    return true;
}

void TfrmDockSetup::Cancel()
{
    if (m_state == State::Browse) {
        return;
    }
    const qint64 keep = m_state == State::Edit && m_editRow < m_rows.size() ? m_rows[m_editRow].rowid : -1;
    Requery(keep);
}

void TfrmDockSetup::cbAllLiveClick()
{
    UpdateAllRecords(QStringLiteral("LIVE"));
    UpdateStatusBar();
}

void TfrmDockSetup::cbAllListeningClick()
{
    UpdateAllRecords(QStringLiteral("LISTENING"));
    UpdateStatusBar();
}

void TfrmDockSetup::cbAllDisabledClick()
{
    UpdateAllRecords(QStringLiteral("DISABLED"));
    UpdateStatusBar();
}

bool TfrmDockSetup::UpdateAllRecords(const QString& mode)
{
    if (m_state != State::Browse) {
        Cancel();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = m_db.UpdateAllRecords(mode, m_prompter);
    Requery();
    QApplication::restoreOverrideCursor();
    return done;
}

void TfrmDockSetup::StartAutoDetect()
{
    if (m_enumerator) {
        m_enumerator->Enumerate();
    }
}

void TfrmDockSetup::DockEnumerator1ListChanged()
{
    if (!m_enumerator || m_enumerator->Replies().isEmpty() || m_enumerator->Addresses().isEmpty()) {
        return;
    }
    const auto result = m_db.RegisterDiscoveryReply(m_networkDocksEnabled, m_enumerator->Replies().last(),
                                                    m_enumerator->Addresses().last(), m_prompter);
    if (result.added && OnNewNetworkDock) {
        OnNewNetworkDock();
    }
    if (result.changed && m_state == State::Browse && isVisible()) {
        const int r = grid->currentRow();
        Requery(r >= 0 && r < m_rows.size() ? m_rows[r].rowid : -1);
        UpdateStatusBar();
    }
}

} // namespace vx8
