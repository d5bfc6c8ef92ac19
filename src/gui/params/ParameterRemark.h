#pragma once
// The memo dialog: one line of description for a parameter set, kept in the
// file's "Description=" line. At most 200 bytes in code page 936 (100 wide
// or 200 narrow characters), as the label tells the user.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace hx::gui {

class CParameterRemark : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxBytes = 200;

    explicit CParameterRemark(QWidget* parent = nullptr);

    QString text() const;
    QPlainTextEdit* editor() const { return m_edit; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    // "确  定": the text for the window that opened the dialog.
    void descriptionChosen(const QString& text);

private:
    void keepWithinLimit(int position, int removed, int added);
    void onOk();

    QPlainTextEdit* m_edit;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_trimming = false;
};

}  // namespace hx::gui
