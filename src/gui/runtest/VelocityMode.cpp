#include "gui/runtest/VelocityMode.h"

#include <QCoreApplication>
#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpressionValidator>

#include "gui/widgets/Messages.h"

namespace hx::gui {

using namespace hx::runtest;

namespace {

QLineEdit* NumberEdit(bool allowSign) {
    auto* e = new QLineEdit;
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(allowSign ? "-?\\d{0,10}" : "\\d{0,10}"), e));
    e->setMaximumWidth(110);
    return e;
}

}  // namespace

CVelocityMode::CVelocityMode(RunPageHost* host, QWidget* parent) : RunPage(host, parent) {
    auto* group = new QGroupBox(tr("梯形参数"));
    auto* form = new QFormLayout;
    m_speed = NumberEdit(true);
    m_distance = NumberEdit(false);
    m_acceleration = NumberEdit(false);
    m_dwell = NumberEdit(false);
    m_runs = NumberEdit(false);
    m_speed->setObjectName("speed");
    m_distance->setObjectName("distance");
    m_acceleration->setObjectName("acceleration");
    m_dwell->setObjectName("dwell");
    m_runs->setObjectName("runs");
    form->addRow(tr("运行速度(0.01rps)"), m_speed);
    form->addRow(tr("行程(0.01r)"), m_distance);
    form->addRow(tr("加速度(r/s/s)"), m_acceleration);
    form->addRow(tr("间歇时间(ms)"), m_dwell);
    form->addRow(tr("运行次数"), m_runs);

    auto* back = new QGroupBox(tr("是否往复运动"));
    auto* backRow = new QHBoxLayout(back);
    m_backNo = new QRadioButton(tr("否"));
    m_backYes = new QRadioButton(tr("是"));
    backRow->addWidget(m_backNo);
    backRow->addWidget(m_backYes);
    auto* dir = new QGroupBox(tr("运动方向"));
    auto* dirRow = new QHBoxLayout(dir);
    m_reverse = new QRadioButton(tr("反方向"));
    m_forward = new QRadioButton(tr("正方向"));
    dirRow->addWidget(m_reverse);
    dirRow->addWidget(m_forward);
    connect(m_backNo, &QRadioButton::clicked, this, [this] { m_fields.backAndForth = 0; });
    connect(m_backYes, &QRadioButton::clicked, this, [this] { m_fields.backAndForth = 1; });
    connect(m_reverse, &QRadioButton::clicked, this, [this] { m_fields.direction = -1; });
    connect(m_forward, &QRadioButton::clicked, this, [this] { m_fields.direction = 1; });

    m_interval = new QComboBox;
    for (int v : kSampleIntervals) m_interval->addItem(QString::number(v));
    m_interval->setCurrentText("100");
    m_interval->setMaximumWidth(110);
    form->addRow(tr("采样间隔(us)"), m_interval);

    auto* inner = new QVBoxLayout(group);
    inner->addLayout(form);
    auto* radios = new QHBoxLayout;
    radios->addWidget(back);
    radios->addWidget(dir);
    inner->addLayout(radios);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->addWidget(group);
    row->addStretch();
    layout->addLayout(row);

    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    ShowFields();
}

bool CVelocityMode::eventFilter(QObject* watched, QEvent* event) {
    // Enter would close a dialog; here it does nothing at all.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return RunPage::eventFilter(watched, event);
}

void CVelocityMode::LoadFromDrive() { ShowFields(); }

void CVelocityMode::ShowFields() {
    m_speed->setText(QString::number(m_fields.speed));
    m_distance->setText(QString::number(m_fields.distance));
    m_acceleration->setText(QString::number(m_fields.acceleration));
    m_dwell->setText(QString::number(m_fields.dwell));
    m_runs->setText(QString::number(m_fields.runs));
    (m_fields.backAndForth ? m_backYes : m_backNo)->setChecked(true);
    (m_fields.direction < 0 ? m_reverse : m_forward)->setChecked(true);
}

bool CVelocityMode::TakeFields() {
    struct Edit {
        QLineEdit* edit;
        qlonglong lo, hi;
        qlonglong* out;
    };
    qlonglong speed, distance, acceleration, dwell, runs;
    const Edit edits[] = {{m_speed, -2147483648LL, 2147483647LL, &speed},
                          {m_distance, 0, 4294967295LL, &distance},
                          {m_acceleration, 0, 4294967295LL, &acceleration},
                          {m_dwell, 0, 4294967295LL, &dwell},
                          {m_runs, 0, 4294967295LL, &runs}};
    for (const Edit& e : edits) {
        bool ok = false;
        const qlonglong v = e.edit->text().trimmed().toLongLong(&ok);
        if (!ok || v < e.lo || v > e.hi) {
            ShowMessage(this, tr("请输入一个整数。"), {}, MessageIcon::Warning);
            e.edit->setFocus();
            return false;
        }
        *e.out = v;
    }
    m_fields.speed = static_cast<int32_t>(speed);
    m_fields.distance = static_cast<uint32_t>(distance);
    m_fields.acceleration = static_cast<uint32_t>(acceleration);
    m_fields.dwell = static_cast<uint32_t>(dwell);
    m_fields.runs = static_cast<uint32_t>(runs);
    m_fields.backAndForth = m_backYes->isChecked() ? 1 : 0;
    m_fields.direction = m_reverse->isChecked() ? -1 : 1;
    return true;
}

std::optional<RunRequest> CVelocityMode::StartRun(const std::array<uint32_t, 4>& codes, int points) {
    if (!TakeFields()) {
        return std::nullopt;
    }
    if (auto failure = CheckVelocity(m_fields)) {
        // The stored field is reset; the edit keeps what was typed until the
        // page next shows its fields.
        ShowMessage(this, QCoreApplication::translate(kTextContext, failure->message),
                    QCoreApplication::translate(kTextContext, kRangeCaption), MessageIcon::Warning);
        return std::nullopt;
    }
    m_fields.sampleInterval = m_interval->currentText().toInt();
    const DriveHandle drive = m_host->Drive();
    return RunRequest::Start(drive, Mode::Velocity, codes, points,
                             VelocityStartWrites(m_fields, codes, points, drive.firmwareVersion()));
}

void CVelocityMode::TakeStartResult(const RunOutcome& outcome) {
    TakeReturnedValues(outcome.startWrites, outcome.writes.returned, &m_fields, nullptr, nullptr);
}

}  // namespace hx::gui
