#include "gui/widgets/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace hx::gui {
namespace {

MessageHandler& handler() {
    static MessageHandler h;
    return h;
}

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Plain boxes carry the program's name. (Not Qt's application display name:
// that would be appended to every window title, the boxes' own captions too.)
QString captionOr(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral("Halvex Configurator") : caption;
}

}  // namespace

void SetMessageHandler(MessageHandler h) { handler() = std::move(h); }

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) {
    MessageRecord record{text, captionOr(caption), icon, false, {}};
    if (handler()) {
        handler()(record);
        return;
    }
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon, bool defaultNo) {
    MessageRecord record{text, captionOr(caption), icon, true, {}};
    if (handler()) return handler()(record);
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool AskYesNoWithDetails(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                         const QString& details) {
    MessageRecord record{text, captionOr(caption), icon, true, details};
    if (handler()) return handler()(record);
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDetailedText(details);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace hx::gui
