#include "gui/app/ExternalTools.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "core/settings/AppPaths.h"

namespace hx::gui {

QString DebugToolPath() { return QString::fromStdString(hx::DataFolder()) + "/Tools/VarnelTool"; }

QString FindCalculator(const QStringList& candidates) {
    static const QStringList kUsual = {"gnome-calculator", "kcalc", "qalculate-gtk", "qalculate-qt",
                                       "galculator", "mate-calc", "xcalc"};
    for (const QString& name : candidates.isEmpty() ? kUsual : candidates) {
        QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

bool StartDetached(const QString& program) {
    QFileInfo info(program);
    if (!info.exists() || !info.isExecutable()) return false;
    return QProcess::startDetached(program, {}, info.absolutePath());
}

}  // namespace hx::gui
