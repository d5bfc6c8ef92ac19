#include "gui/app/EnvironmentSetting.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/settings/EnvSettings.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {
namespace {
constexpr int kFieldMin = 5, kFieldMax = 1000;
constexpr int kSaveMin = 30, kSaveMax = 1000;
}  // namespace

CEnvironmentSetting::CEnvironmentSetting(CQXCOM& link, QWidget* parent)
    : FunctionWindow(tr("环境设置"), LinkUse::Free, parent), m_link(link) {
    m_delay = hx::env::ReadInt(hx::env::kReadComDelay, "DelayTime", "10");
    m_edit = new QLineEdit(QString::number(m_delay));
    m_edit->setToolTip(tr("允许范围: %1 ~ %2 ms").arg(kSaveMin).arg(kSaveMax));
    m_save = new QPushButton(tr("保 存"));
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new QLabel(tr("等待接收超时(ms)")));
    layout->addWidget(m_edit);
    layout->addWidget(new QLabel(QStringLiteral("(%1 ~ %2)").arg(kSaveMin).arg(kSaveMax)));
    layout->addWidget(m_save);
}

bool CEnvironmentSetting::save() {
    bool ok = false;
    const int value = m_edit->text().trimmed().toInt(&ok);
    if (!ok || value < kFieldMin || value > kFieldMax) {
        ShowMessage(this, tr("请输入一个介于 %1 和 %2 之间的整数。").arg(kFieldMin).arg(kFieldMax), {},
                    MessageIcon::Warning);
        m_edit->setFocus();
        return false;
    }
    m_delay = value;
    if (value < kSaveMin || value > kSaveMax) {
        // Refused without the range, the user can only guess what is taken.
        ShowMessage(this, TableText(50063) + QLatin1Char('\n') + tr("允许范围: %1 ~ %2 ms").arg(kSaveMin).arg(kSaveMax),
                    TableText(50134));
        return false;
    }
    hx::env::Write(hx::env::kReadComDelay, "DelayTime", std::to_string(value));
    m_link.SetReceiveTimeOut(static_cast<uint16_t>(value));
    ShowMessage(this, TableText(50062), TableText(50090));
    return true;
}

}  // namespace hx::gui
