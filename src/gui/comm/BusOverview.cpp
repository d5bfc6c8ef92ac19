#include "gui/comm/BusOverview.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "core/Globals.h"
#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmText.h"
#include "core/db/ModelMapping.h"
#include "core/link/CQXCOM.h"
#include "core/link/PortResolver.h"
#include "core/params/ParameterFile.h"
#include "core/settings/EnvSettings.h"
#include "gui/params/ParameterFileDialog.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {

constexpr int kPorts = 9;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CBusOverview::CBusOverview(CQXCOM& link, QWidget* parent)
    : FunctionWindow(tr("总线概览"), LinkUse::HoldsLink, parent), m_link(link) {
    m_ports = new QListWidget;
    const std::string stored = hx::env::Read(hx::env::kComSetting, "COM", "COM1");
    for (int n = 1; n <= kPorts; ++n) {
        const std::string name = "COM" + std::to_string(n);
        auto* item = new QListWidgetItem(Q(name) + "  " + Q(hx::PortResolver::Resolve(name).ToString()), m_ports);
        item->setData(Qt::UserRole, Q(name));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        // The ports set up on this computer, and the one last connected.
        const bool configured = hx::PortResolver::Configured(name) || QString::fromStdString(stored).trimmed() == Q(name);
        item->setCheckState(configured ? Qt::Checked : Qt::Unchecked);
    }
    m_ports->setMaximumHeight(100);
    m_baud = new QComboBox;
    m_baud->addItems({"9600", "19200", "38400"});
    m_baud->setCurrentIndex(2);
    m_baud->setMaximumWidth(160);
    m_reference = new QLineEdit;
    m_reference->setReadOnly(true);
    m_reference->setPlaceholderText(tr("不比较参数"));
    m_choose = new QPushButton(tr("选择..."));
    m_clearReference = new QPushButton(tr("清除"));
    m_search = new QPushButton(tr("搜 索"));
    m_refresh = new QPushButton(tr("刷新报警"));
    m_connect = new QPushButton(tr("连接"));
    m_connect->setToolTip(tr("连接选中的驱动器（也可双击该行）"));
    m_status = new QLabel;
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableWidget(0, Columns);
    m_table->setHorizontalHeaderLabels(
        {tr("端口"), tr("站号"), tr("型号"), tr("固件版本"), tr("当前报警"), tr("参数与参考文件")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    // Rows of one line of text: a line of drives fits the window.
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSortingEnabled(false);

    auto* settings = new QGridLayout;
    settings->addWidget(new QLabel(tr("通信端口:")), 0, 0, Qt::AlignTop);
    settings->addWidget(m_ports, 0, 1, 1, 3);
    settings->addWidget(new QLabel(tr("波特率:")), 1, 0);
    settings->addWidget(m_baud, 1, 1);
    settings->addWidget(new QLabel(tr("参考文件:")), 2, 0);
    settings->addWidget(m_reference, 2, 1);
    settings->addWidget(m_choose, 2, 2);
    settings->addWidget(m_clearReference, 2, 3);
    settings->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_refresh);
    buttons->addStretch(1);
    buttons->addWidget(m_connect);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    // One line per port, under the buttons, as wide as the window.
    layout->addWidget(m_status);
    layout->addWidget(m_table, 1);

    connect(m_search, &QPushButton::clicked, this, &CBusOverview::onSearch);
    connect(m_refresh, &QPushButton::clicked, this, &CBusOverview::onRefresh);
    connect(m_choose, &QPushButton::clicked, this, &CBusOverview::onChooseReference);
    connect(m_clearReference, &QPushButton::clicked, m_reference, &QLineEdit::clear);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { connectToRow(row); });
    connect(m_connect, &QPushButton::clicked, this, [this] { connectToRow(m_table->currentRow()); });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CBusOverview::updateButtons);

    m_haveDb = m_db.OpenConnection(DatabaseConnectionString());
    updateButtons();
}

CBusOverview::~CBusOverview() {
    m_job.requestStop();
    m_job.join();
}

void CBusOverview::closeEvent(QCloseEvent* event) {
    // The workers hold ports of their own: they let go before the window goes.
    m_closing = true;
    m_job.requestStop();
    m_job.join();
    FunctionWindow::closeEvent(event);
}

void CBusOverview::setStationRange(int first, int last) {
    m_first = first;
    m_last = last;
}

void CBusOverview::updateButtons() {
    // A connected drive holds its port: a second link on it would mix the
    // two conversations on one line.
    // "断开并搜索" lets it go first, here rather than in another window.
    const bool portOpen = m_link.GetConnectStatus() != 0;
    m_search->setText(busy() ? tr("停 止") : portOpen ? tr("断开并搜索") : tr("搜 索"));
    m_refresh->setEnabled(!portOpen && !busy() && !m_drives.empty());
    m_connect->setEnabled(!busy() && m_table->currentRow() >= 0 && !m_table->selectedItems().isEmpty());
    m_choose->setEnabled(!busy());
    m_clearReference->setEnabled(!busy());
    m_ports->setEnabled(!busy());
    m_baud->setEnabled(!busy());
    if (portOpen) m_status->setText(tr("已连接驱动器：“断开并搜索”先断开连接，再搜索总线。"));
}

void CBusOverview::onChooseReference() {
    const QString path = AskParameterFileToOpen(this, tr("参考文件"));
    if (!path.isEmpty()) m_reference->setText(path);
}

hx::BusScanCallbacks CBusOverview::callbacks() {
    hx::BusScanCallbacks c;
    c.searched = UiCallback<const std::string&, int, bool>(
        this, [this](const std::string& port, int station, bool found) { onSearched(Q(port), station, found); });
    c.drive = UiCallback<const hx::BusDrive&>(this, [this](const hx::BusDrive& drive) { onDrive(drive); });
    c.portFailed = UiCallback<const std::string&, const std::string&>(
        this, [this](const std::string& port, const std::string& reason) { onPortFailed(Q(port), Q(reason)); });
    c.finished = UiCallback<bool>(this, [this](bool) { onFinished(); });
    return c;
}

void CBusOverview::onSearch() {
    if (busy()) {
        // "停 止": the workers end at their next station.
        m_job.requestStop();
        return;
    }
    hx::BusScanRequest request;
    for (int i = 0; i < m_ports->count(); ++i)
        if (m_ports->item(i)->checkState() == Qt::Checked)
            request.ports.push_back(m_ports->item(i)->data(Qt::UserRole).toString().toStdString());
    if (request.ports.empty()) {
        ShowMessage(this, tr("请选择要搜索的端口。"));
        return;
    }
    if (!m_reference->text().isEmpty()) {
        hx::ParameterFileContents contents;
        std::string error;
        if (!hx::ReadParameterFile(m_reference->text().toStdString(), &contents, &error)) {
            ShowMessage(this, Q(error));
            return;
        }
        request.reference = std::move(contents);
    }
    request.baud = m_baud->currentText().toStdString();
    request.receiveTimeOut = static_cast<uint16_t>(hx::env::ReadInt(hx::env::kReadComDelay, "DelayTime", "50"));
    request.firstStation = m_first;
    request.lastStation = m_last;
    request.pace = kSearchPace;

    m_table->setRowCount(0);
    m_drives.clear();
    m_progress.clear();
    m_failedPorts.clear();
    m_reasons.clear();
    m_status->setToolTip({});
    for (const auto& port : request.ports) m_progress[Q(port)] = tr("等待");
    m_request = request;
    // The program's connection ends: the scan needs the ports.
    const bool wasConnected = m_link.GetConnectStatus() != 0;
    if (wasConnected) request.closeFirst = &m_link;
    if (m_job.scan(std::move(request), callbacks())) {
        if (wasConnected) emit connectionChanged(false);
        showProgress();
    }
    updateButtons();
}

void CBusOverview::onRefresh() {
    if (busy() || m_drives.empty()) return;
    std::vector<hx::BusDrive> drives;
    for (const auto& [key, drive] : m_drives) drives.push_back(drive);
    m_status->setText(tr("正在读取报警..."));
    m_job.refreshAlarms(std::move(drives), m_request, callbacks());
    updateButtons();
}

int CBusOverview::rowOf(const std::string& port, int station) {
    for (int r = 0; r < m_table->rowCount(); ++r)
        if (m_table->item(r, PortColumn)->text() == Q(port) && m_table->item(r, StationColumn)->text().toInt() == station)
            return r;
    // Rows stay in the order of the ports as listed, stations ascending,
    // however the ports' workers take turns.
    const auto key = [this](const QString& p, int s) {
        const auto& ports = m_request.ports;
        const auto at = std::find(ports.begin(), ports.end(), p.toStdString()) - ports.begin();
        return std::pair{static_cast<long>(at), s};
    };
    int row = 0;
    while (row < m_table->rowCount() &&
           key(m_table->item(row, PortColumn)->text(), m_table->item(row, StationColumn)->text().toInt()) <
               key(Q(port), station))
        ++row;
    m_table->insertRow(row);
    for (int c = 0; c < Columns; ++c) m_table->setItem(row, c, new QTableWidgetItem);
    m_table->item(row, PortColumn)->setText(Q(port));
    m_table->item(row, StationColumn)->setText(QString::number(station));
    return row;
}

void CBusOverview::onSearched(const QString& port, int station, bool found) {
    if (m_closing) return;
    m_progress[port] = QString::number(station) + " / " + QString::number(m_last);
    showProgress();
    if (found) m_table->item(rowOf(port.toStdString(), station), ModelColumn)->setText(tr("读取中..."));
}

void CBusOverview::showProgress() {
    QStringList lines;
    for (const auto& [port, text] : m_progress) lines << port + ": " + text;
    m_status->setText(lines.join('\n'));
}

QString CBusOverview::modelText(const hx::BusDrive& drive) {
    if (!drive.identified) return tr("无应答");
    if (m_haveDb) {
        try {
            if (auto model = hx::LookupDisplayModel(m_db, drive.identity.productModel, g_qxModelFlag != 0))
                return Q(*model);
        } catch (const DbError&) {
        }
    }
    return Q(drive.identity.productModel);
}

QString CBusOverview::alarmText(const std::optional<int>& alarm) {
    if (!alarm) return tr("无应答");
    if (*alarm <= 0) return tr("无");
    const std::string number = hx::AlarmNumberText(*alarm);
    QString text = Q(number);
    if (m_haveDb) {
        try {
            const auto names = hx::LookupAlarmNames(m_db, number, g_language == 9);
            if (!names.empty()) text += "  " + Q(names.front());
        } catch (const DbError&) {
        }
    }
    return text;
}

void CBusOverview::onDrive(const hx::BusDrive& drive) {
    if (m_closing) return;
    m_drives[{drive.port, drive.station}] = drive;
    const int row = rowOf(drive.port, drive.station);
    m_table->item(row, ModelColumn)->setText(modelText(drive));
    char firmware[16];
    std::snprintf(firmware, sizeof firmware, "%.1f", static_cast<double>(drive.identity.firmwareVersion));
    m_table->item(row, FirmwareColumn)->setText(drive.identified ? QString(firmware) : QString());
    QTableWidgetItem* alarm = m_table->item(row, AlarmColumn);
    alarm->setText(alarmText(drive.alarm));
    alarm->setForeground(drive.alarm && *drive.alarm > 0 ? QColor(Qt::red) : palette().color(QPalette::Text));
    QString reference;
    switch (drive.reference) {
    case hx::BusDrive::Reference::NotAsked:
        reference = m_request.reference && drive.identified ? tr("比较中...") : QStringLiteral("—");
        break;
    case hx::BusDrive::Reference::Same: reference = tr("相同"); break;
    case hx::BusDrive::Reference::Differs: reference = tr("不同 (%1 个参数)").arg(drive.differences); break;
    case hx::BusDrive::Reference::Unread: reference = tr("读取失败"); break;
    }
    m_table->item(row, ReferenceColumn)->setText(reference);
    // Sized to their contents, and the last column stretched again to the
    // table's edge (the sizing ends its stretch).
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
}

void CBusOverview::onPortFailed(const QString& port, const QString& reason) {
    if (m_closing) return;
    // In the window's language; the system's own words only where nothing
    // else is known, and in the tool tip.
    const QString device = Q(hx::PortResolver::Resolve(port.toStdString()).ToString());
    QString why;
    switch (hx::ClassifyPortFailure(port.toStdString(), reason.toStdString())) {
    case hx::PortFailure::Missing: why = tr("设备不存在 (%1)").arg(device); break;
    case hx::PortFailure::Busy: why = tr("端口被其他程序占用 (%1)").arg(device); break;
    case hx::PortFailure::NoPermission: why = tr("没有打开端口的权限 (%1)").arg(device); break;
    case hx::PortFailure::Other: why = tr("无法打开 (%1)").arg(device); break;
    }
    m_progress[port] = tr("打开失败：%1").arg(why);
    m_reasons[port] = reason;
    m_failedPorts.insert(port);
    showProgress();
}

void CBusOverview::onFinished() {
    if (m_closing) return;
    m_job.join();
    QStringList lines{tr("找到 %1 台驱动器").arg(m_drives.size())};
    QStringList reasons;
    for (const QString& port : m_failedPorts) {
        lines << port + ": " + m_progress[port];
        reasons << port + ": " + m_reasons[port];
    }
    m_status->setText(lines.join('\n'));
    m_status->setToolTip(reasons.join('\n'));
    updateButtons();
    emit finished();
}

void CBusOverview::connectToRow(int row) {
    if (busy() || row < 0 || row >= m_table->rowCount()) return;
    const QString port = m_table->item(row, PortColumn)->text();
    const int station = m_table->item(row, StationColumn)->text().toInt();
    const QString baud = m_baud->currentText();
    // One drive window at a time: this one goes first.
    closeWindow();
    emit connectRequested(port, baud, station);
}

}  // namespace hx::gui
