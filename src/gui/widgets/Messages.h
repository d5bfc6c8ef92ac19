#pragma once
// Message boxes of the program. Every window reports through these, so the
// captions and buttons stay as the users know them, and tests can answer
// the boxes instead of a person.

#include <QString>
#include <functional>

class QWidget;

namespace hx::gui {

enum class MessageIcon { None, Information, Warning, Question, Critical };

struct MessageRecord {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    bool question = false;
    QString details;  // the box's details, shown on request
};

// A plain box with an OK button; an empty caption gives the program's name.
void ShowMessage(QWidget* parent, const QString& text, const QString& caption = {},
                 MessageIcon icon = MessageIcon::None);
// Yes/No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
              bool defaultNo = false);

// Yes/No with a details area (e.g. what an action is about to change); true for Yes.
bool AskYesNoWithDetails(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                         const QString& details);

// Tests: route every box to a handler (its result answers a question: true = Yes).
using MessageHandler = std::function<bool(const MessageRecord&)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace hx::gui
