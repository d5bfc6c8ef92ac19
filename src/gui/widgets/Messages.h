#pragma once
// Message boxes of the program. Every window reports through these, so the
// captions and buttons stay as the users know them, and tests can answer
// the boxes instead of a person.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class QListWidget;
class QToolButton;

namespace hx::gui {

enum class MessageIcon { None, Information, Warning, Question, Critical };

struct MessageRecord {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    bool question = false;
    QString details;  // the box's details, shown on request
    // A question about changes: what will change (shown first, highlighted)
    // and what stays as it is (collapsed until asked for).
    QStringList changed, unchanged;
    // A box offering one thing to do (AskForAction): its button's text.
    QString action = {};
};

// A plain box with an OK button; an empty caption gives the program's name.
void ShowMessage(QWidget* parent, const QString& text, const QString& caption = {},
                 MessageIcon icon = MessageIcon::None);
// Yes/No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
              bool defaultNo = false);

// A message with a button that does something about it (actionText) beside
// "关闭"; true when that button was pressed. A handler sees it as a question.
bool AskForAction(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                  const QString& actionText);

// Yes/No about a list of changes: the changed items first and highlighted,
// the unchanged ones folded away under one line, then footer; true for Yes.
bool AskYesNoWithChanges(QWidget* parent, const QString& text, const QString& caption, const QStringList& changed,
                         const QStringList& unchanged, const QString& footer);

// The box AskYesNoWithChanges shows.
class ChangesQuestion : public QDialog {
    Q_OBJECT
public:
    ChangesQuestion(QWidget* parent, const QString& text, const QString& caption, const QStringList& changed,
                    const QStringList& unchanged, const QString& footer);
    QListWidget* changedList() const { return m_changed; }
    QListWidget* unchangedList() const { return m_unchanged; }
    QToolButton* unchangedToggle() const { return m_toggle; }

private:
    QListWidget* m_changed;
    QListWidget* m_unchanged;
    QToolButton* m_toggle;
};

// Tests: route every box to a handler (its result answers a question: true = Yes).
using MessageHandler = std::function<bool(const MessageRecord&)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace hx::gui
