#pragma once
// Programs the tool menu starts: the debug tool shipped beside the program
// and the desktop's calculator.

#include <QString>
#include <QStringList>

namespace hx::gui {

QString DebugToolPath();            // program folder + "/Tools/VarnelTool"
// The first installed calculator of the usual desktop ones; empty when none.
QString FindCalculator(const QStringList& candidates = {});
bool StartDetached(const QString& program);

}  // namespace hx::gui
