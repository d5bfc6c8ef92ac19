#include "gui/wizard/GuidePages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace hx::gui {

using hx::wizard::FunctionEntry;
using hx::wizard::kPins;
using hx::wizard::WizardForm;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

// Each entry carries its function code.
void fillFunctions(QComboBox* box, const std::vector<FunctionEntry>& entries) {
    for (const auto& e : entries) box->addItem(q(e.text), static_cast<int>(e.code));
    box->setCurrentIndex(-1);
}

// The first entry with the code. A code the list does not know is shown as
// such ("<code>: 未定义") and kept: a blank list would hide it, and writing
// whatever the list held before would change the pin's function unasked.
void selectFunction(QComboBox* box, const std::vector<FunctionEntry>& entries, int code) {
    while (box->count() > static_cast<int>(entries.size())) box->removeItem(box->count() - 1);
    const int index = hx::wizard::FindFunctionEntry(entries, code);
    if (index >= 0) {
        box->setCurrentIndex(index);
        return;
    }
    box->addItem(QCoreApplication::translate("SetupWizard", "%1: 未定义").arg(code), code);
    box->setCurrentIndex(box->count() - 1);
}

int16_t selectedCode(const QComboBox* box) {
    return box->currentIndex() >= 0 ? static_cast<int16_t>(box->currentData().toInt()) : 0;
}

QLabel* columnTitle(const QString& text) {
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

}  // namespace

GuideHeader::GuideHeader(GuidePicture picture, QWidget* parent) : QWidget(parent), m_picture(picture) {
    setMinimumHeight(64);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GuideHeader::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, DrawGuidePicture(m_picture, size()));
}

// --- Station alias

CGuideComParameter::CGuideComParameter(QWidget* parent) : QWidget(parent) {
    m_switch = new QRadioButton(tr("前面板拨码"));
    m_dictionary = new QRadioButton(tr("对象字典"));
    m_alias = new QLineEdit;
    auto* source = new QGroupBox(tr("别名来源"));
    auto* sourceLayout = new QVBoxLayout(source);
    sourceLayout->addWidget(m_switch);
    sourceLayout->addWidget(m_dictionary);
    auto* aliasRow = new QFormLayout;
    aliasRow->addRow(tr("站点别名数据"), m_alias);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new GuideHeader(GuidePicture::FrontPanel));
    layout->addWidget(source);
    layout->addLayout(aliasRow);
    layout->addStretch();

    m_switch->setChecked(true);
    m_alias->setEnabled(false);
    connect(m_switch, &QRadioButton::clicked, this, [this] { emit sourceChosen(hx::wizard::LoadStep::AliasSwitch); });
    connect(m_dictionary, &QRadioButton::clicked, this,
            [this] { emit sourceChosen(hx::wizard::LoadStep::AliasDictionary); });
}

void CGuideComParameter::showForm(const WizardForm& form) {
    const bool dictionary = form.aliasSource == 1;
    m_dictionary->setChecked(dictionary);
    m_switch->setChecked(!dictionary);
    m_alias->setText(q(form.aliasText));
    // The switch's alias is set on the drive itself.
    m_alias->setEnabled(dictionary);
}

void CGuideComParameter::collect(WizardForm& form) const {
    form.aliasSource = m_dictionary->isChecked() ? 1 : 0;
    form.aliasText = s(m_alias->text());
}

// --- Current

CGuideCurrent::CGuideCurrent(QWidget* parent) : QWidget(parent) {
    m_peak = new QLineEdit;
    m_percent = new QLineEdit;
    m_time = new QLineEdit;
    auto* run = new QGroupBox(tr("运行设置"));
    auto* runLayout = new QFormLayout(run);
    runLayout->addRow(tr("峰值电流(mA)"), m_peak);
    auto* standby = new QGroupBox(tr("待机设置"));
    auto* standbyLayout = new QFormLayout(standby);
    standbyLayout->addRow(tr("待机电流百分比(%)"), m_percent);
    standbyLayout->addRow(tr("待机时间(ms)"), m_time);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new GuideHeader(GuidePicture::CurrentWave));
    layout->addWidget(run);
    layout->addWidget(standby);
    layout->addStretch();
}

void CGuideCurrent::showForm(const WizardForm& form) {
    m_peak->setText(q(form.peakCurrentText));
    m_percent->setText(q(form.standbyPercentText));
    m_time->setText(q(form.standbyTimeText));
}

void CGuideCurrent::collect(WizardForm& form) const {
    form.peakCurrentText = s(m_peak->text());
    form.standbyPercentText = s(m_percent->text());
    form.standbyTimeText = s(m_time->text());
}

// --- Pulses per revolution

CGuideSubdevision::CGuideSubdevision(QWidget* parent) : QWidget(parent) {
    m_pulses = new QLineEdit;
    m_invert = new QCheckBox(tr("指令极性的反转"));
    auto* form = new QFormLayout;
    form->addRow(tr("每转脉冲数(Pluse)"), m_pulses);
    form->addRow(QString(), m_invert);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new GuideHeader(GuidePicture::EncoderDisc));
    layout->addLayout(form);
    layout->addStretch();
}

void CGuideSubdevision::showForm(const WizardForm& form) {
    m_pulses->setText(q(form.pulsesText));
    m_invert->setChecked(form.commandInverted);
}

void CGuideSubdevision::collect(WizardForm& form) const {
    form.pulsesText = s(m_pulses->text());
    form.commandInverted = m_invert->isChecked();
}

// --- Inputs

CGuideInput::CGuideInput(QWidget* parent) : QWidget(parent), m_entries(hx::wizard::InputFunctionEntries()) {
    auto* group = new QGroupBox(tr("输入信号分配"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(columnTitle(tr("引脚")), 0, 0);
    grid->addWidget(columnTitle(tr("功能")), 0, 1);
    grid->addWidget(columnTitle(tr("滤波时间")), 0, 2, 1, 2);
    grid->addWidget(columnTitle(tr("极性")), 0, 4);
    for (int k = 0; k < kPins; ++k) {
        GuidePinRow& r = m_rows[k];
        r.pin = new QLabel(QStringLiteral("05(SI%1)").arg(k + 1));
        r.function = new QComboBox;
        fillFunctions(r.function, m_entries);
        r.filter = new QLineEdit;
        r.filter->setMaximumWidth(70);
        r.unit = new QLabel(QStringLiteral("us"));
        r.invert = new QCheckBox(tr("取反"));
        grid->addWidget(r.pin, k + 1, 0);
        grid->addWidget(r.function, k + 1, 1);
        grid->addWidget(r.filter, k + 1, 2);
        grid->addWidget(r.unit, k + 1, 3);
        grid->addWidget(r.invert, k + 1, 4);
    }
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    layout->addStretch();
}

void CGuideInput::showForm(const WizardForm& form, uint16_t variant) {
    const int visible = hx::wizard::InputCount(variant);
    for (int k = 0; k < kPins; ++k) {
        GuidePinRow& r = m_rows[k];
        const bool shown = k < visible;
        for (QWidget* w : {static_cast<QWidget*>(r.pin), static_cast<QWidget*>(r.function),
                           static_cast<QWidget*>(r.filter), static_cast<QWidget*>(r.unit),
                           static_cast<QWidget*>(r.invert)})
            w->setVisible(shown);
        if (shown) {
            selectFunction(r.function, m_entries, form.inputFunction[k]);
            r.filter->setText(q(form.inputFilterText[k]));
        }
        // Hidden pins keep their bit of the polarity word as read.
        r.invert->setChecked(form.inputInverted[k]);
    }
}

void CGuideInput::collect(WizardForm& form) const {
    for (int k = 0; k < kPins; ++k) {
        const GuidePinRow& r = m_rows[k];
        if (!r.pin->isHidden()) {
            form.inputFunction[k] = selectedCode(r.function);
            form.inputFilterText[k] = s(r.filter->text());
        }
        form.inputInverted[k] = r.invert->isChecked();
    }
}

// --- Outputs

CGuideOutput::CGuideOutput(QWidget* parent) : QWidget(parent), m_entries(hx::wizard::OutputFunctionEntries()) {
    auto* group = new QGroupBox;
    auto* grid = new QGridLayout(group);
    grid->addWidget(columnTitle(tr("引脚")), 0, 0);
    grid->addWidget(columnTitle(tr("功能")), 0, 1);
    grid->addWidget(columnTitle(tr("极性")), 0, 2);
    for (int k = 0; k < kPins; ++k) {
        GuidePinRow& r = m_rows[k];
        r.pin = new QLabel(QStringLiteral("01(SO%1)").arg(k + 1));
        r.function = new QComboBox;
        fillFunctions(r.function, m_entries);
        r.invert = new QCheckBox(tr("取反"));
        grid->addWidget(r.pin, k + 1, 0);
        grid->addWidget(r.function, k + 1, 1);
        grid->addWidget(r.invert, k + 1, 2);
    }
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    layout->addStretch();
}

void CGuideOutput::showForm(const WizardForm& form, uint16_t variant) {
    const int visible = hx::wizard::OutputCount(variant);
    for (int k = 0; k < kPins; ++k) {
        GuidePinRow& r = m_rows[k];
        const bool shown = k < visible;
        r.pin->setVisible(shown);
        r.function->setVisible(shown);
        r.invert->setVisible(shown);
        selectFunction(r.function, m_entries, form.outputFunction[k]);
        r.invert->setChecked(form.outputInverted[k]);
    }
}

void CGuideOutput::collect(WizardForm& form) const {
    for (int k = 0; k < kPins; ++k) {
        const GuidePinRow& r = m_rows[k];
        if (!r.pin->isHidden()) form.outputFunction[k] = selectedCode(r.function);
        form.outputInverted[k] = r.invert->isChecked();
    }
}

// --- Inputs and outputs

CGuideIOSetting::CGuideIOSetting(QWidget* parent) : QWidget(parent) {
    m_header = new GuideHeader(GuidePicture::Connector, this);
    m_inputButton = new QPushButton(tr("输入信号"), this);
    m_outputButton = new QPushButton(tr("输出信号"), this);
    m_input = new CGuideInput(this);
    m_output = new CGuideOutput(this);
    m_output->hide();
    // Both halves are read with the page: switching only shows the other one.
    connect(m_inputButton, &QPushButton::clicked, this, [this] {
        m_input->show();
        m_output->hide();
    });
    connect(m_outputButton, &QPushButton::clicked, this, [this] {
        m_input->hide();
        m_output->show();
    });
}

void CGuideIOSetting::resizeEvent(QResizeEvent*) {
    const QRect client = rect();
    // The header picture and the two buttons share the top 80 pixels; the
    // halves take the rest.
    m_header->setGeometry(0, 0, client.width() - 200, 74);
    const int bw = 90, bh = 28;
    m_inputButton->setGeometry(client.width() - 2 * bw - 12, 40, bw, bh);
    m_outputButton->setGeometry(client.width() - bw - 6, 40, bw, bh);
    const QRect half(client.left() + 3, client.top() + 80, client.width() - 6, client.height() - 90);
    m_input->setGeometry(half);
    m_output->setGeometry(half);
}

void CGuideIOSetting::showForm(const WizardForm& form, uint16_t variant) {
    m_input->showForm(form, variant);
    m_output->showForm(form, variant);
}

void CGuideIOSetting::collect(WizardForm& form) const {
    m_input->collect(form);
    m_output->collect(form);
}

}  // namespace hx::gui
