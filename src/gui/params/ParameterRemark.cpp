#include "gui/params/ParameterRemark.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/text/Cp936.h"

namespace hx::gui {
namespace {
std::size_t bytesOf(const QString& text) { return hx::Cp936ByteLength(text.toStdString()); }
}  // namespace

CParameterRemark::CParameterRemark(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Configuration Memo"));
    setModal(true);
    m_edit = new QPlainTextEdit;
    m_edit->setTabChangesFocus(true);
    m_ok = new QPushButton(tr("确  定"));
    m_cancel = new QPushButton(tr("取  消"));
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("A memo to description of this configuration for future use")));
    layout->addWidget(m_edit);
    layout->addWidget(new QLabel(tr("选择文件时这行描述将被显示。（全角文字100个  半角文字200个）")));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    resize(460, 220);

    connect(m_edit->document(), &QTextDocument::contentsChange, this, &CParameterRemark::keepWithinLimit);
    connect(m_ok, &QPushButton::clicked, this, &CParameterRemark::onOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString CParameterRemark::text() const { return m_edit->toPlainText(); }

// Typing or pasting past the limit keeps only as much of the new text as fits.
void CParameterRemark::keepWithinLimit(int position, int /*removed*/, int added) {
    if (m_trimming || bytesOf(m_edit->toPlainText()) <= kMaxBytes) return;
    m_trimming = true;
    QTextCursor cursor(m_edit->document());
    // The document counts a closing paragraph mark of its own; stay before it.
    int end = std::min(position + added, m_edit->document()->characterCount() - 1);
    while (end > position && bytesOf(m_edit->toPlainText()) > kMaxBytes) {
        cursor.setPosition(end);
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        const int start = cursor.position();
        cursor.removeSelectedText();
        end = start;
    }
    // Still too long (text that was there before): cut at the end.
    while (bytesOf(m_edit->toPlainText()) > kMaxBytes) {
        cursor.movePosition(QTextCursor::End);
        cursor.deletePreviousChar();
    }
    m_trimming = false;
}

void CParameterRemark::onOk() {
    emit descriptionChosen(text());
    accept();
}

}  // namespace hx::gui
