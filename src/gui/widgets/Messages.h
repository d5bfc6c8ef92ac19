#pragma once
// Message boxes of the program. Every window reports through these, so the
// captions and buttons stay as the users know them, and tests can answer
// the boxes instead of a person.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;
class QListWidget;
class QToolButton;
class QPushButton;
class QTableWidget;

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
    // A question with a choice of rows (AskToChoose): the rows, and which of
    // them are ticked; a handler may untick some before it answers.
    std::vector<QStringList> rows;
    std::vector<bool>* ticked = nullptr;
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

// Yes/No about rows to act on, each with a tick box (all ticked at first)
// under the column heads, with "全选" / "全不选"; true for Yes, which needs
// one row ticked at least. *ticked (one entry a row) says which.
bool AskToChoose(QWidget* parent, const QString& text, const QString& caption, const QStringList& heads,
                 const std::vector<QStringList>& rows, const QString& footer, std::vector<bool>* ticked);

// The box AskToChoose shows.
class ChoiceQuestion : public QDialog {
    Q_OBJECT
public:
    ChoiceQuestion(QWidget* parent, const QString& text, const QString& caption, const QStringList& heads,
                   const std::vector<QStringList>& rows, const QString& footer);
    QTableWidget* table() const { return m_table; }
    QPushButton* yesButton() const { return m_yes; }
    QPushButton* allButton() const { return m_all; }
    QPushButton* noneButton() const { return m_none; }
    std::vector<bool> ticked() const;

private:
    void setAll(bool on);
    void updateYes();

    QTableWidget* m_table;
    QPushButton *m_yes, *m_all, *m_none;
};

// Tests: route every box to a handler (its result answers a question: true = Yes).
using MessageHandler = std::function<bool(const MessageRecord&)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace hx::gui
