#include "gui/widgets/Messages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

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

// Plain boxes carry the program's short name: a window manager shows a
// narrow box's title elided, and "Hal... tor" tells nobody anything. (Not
// Qt's application display name: that would be appended to every window
// title, the boxes' own captions too.)
QString captionOr(const QString& caption) { return caption.isEmpty() ? QStringLiteral("Halvex") : caption; }

MessageRecord Record(const QString& text, const QString& caption, MessageIcon icon, bool question) {
    MessageRecord r;
    r.text = text;
    r.caption = captionOr(caption);
    r.icon = icon;
    r.question = question;
    return r;
}

// A list that is as tall as its rows, up to a limit, and scrolls beyond it.
void fitRows(QListWidget* list, int maxRows) {
    const int rows = std::min(std::max(list->count(), 1), maxRows);
    const int row = list->sizeHintForRow(0) > 0 ? list->sizeHintForRow(0) : list->fontMetrics().height() + 4;
    list->setFixedHeight(rows * row + 2 * list->frameWidth() + 4);
}

}  // namespace

void SetMessageHandler(MessageHandler h) { handler() = std::move(h); }

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) {
    const MessageRecord record = Record(text, caption, icon, false);
    if (handler()) {
        handler()(record);
        return;
    }
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon, bool defaultNo) {
    const MessageRecord record = Record(text, caption, icon, true);
    if (handler()) return handler()(record);
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool AskForAction(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                  const QString& actionText) {
    MessageRecord record{text, captionOr(caption), icon, true};
    record.action = actionText;
    if (handler()) return handler()(record);
    QMessageBox box(toQt(icon), record.caption, text, QMessageBox::NoButton, parent);
    QPushButton* action = box.addButton(actionText, QMessageBox::AcceptRole);
    box.addButton(QCoreApplication::translate("Messages", "关闭"), QMessageBox::RejectRole);
    box.setDefaultButton(action);
    box.exec();
    return box.clickedButton() == action;
}

ChangesQuestion::ChangesQuestion(QWidget* parent, const QString& text, const QString& caption,
                                 const QStringList& changed, const QStringList& unchanged, const QString& footer)
    : QDialog(parent) {
    setWindowTitle(captionOr(caption));
    auto* icon = new QLabel;
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(side, side));
    auto* question = new QLabel(text);
    question->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(question, 1);

    auto* changedTitle = new QLabel(tr("将要更改的设置 (%1):").arg(changed.size()));
    m_changed = new QListWidget;
    m_changed->setObjectName("changed");
    QFont bold = m_changed->font();
    bold.setBold(true);
    for (const QString& line : changed) {
        auto* item = new QListWidgetItem(line, m_changed);
        item->setFont(bold);
        item->setBackground(QColor(255, 236, 153));
        item->setForeground(Qt::black);
    }
    if (changed.isEmpty()) new QListWidgetItem(tr("(没有设置会改变)"), m_changed);
    fitRows(m_changed, 12);

    m_toggle = new QToolButton;
    m_toggle->setObjectName("unchangedToggle");
    m_toggle->setText(tr("不变的设置 (%1)").arg(unchanged.size()));
    m_toggle->setCheckable(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    m_toggle->setAutoRaise(true);
    m_toggle->setEnabled(!unchanged.isEmpty());
    m_unchanged = new QListWidget;
    m_unchanged->setObjectName("unchanged");
    m_unchanged->addItems(unchanged);
    for (int i = 0; i < m_unchanged->count(); ++i) m_unchanged->item(i)->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    fitRows(m_unchanged, 10);
    m_unchanged->setVisible(false);
    connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
        m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_unchanged->setVisible(open);
        adjustSize();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->button(QDialogButtonBox::Yes)->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(changedTitle);
    layout->addWidget(m_changed);
    layout->addWidget(m_toggle, 0, Qt::AlignLeft);
    layout->addWidget(m_unchanged);
    if (!footer.isEmpty()) layout->addWidget(new QLabel(footer));
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_changed->setMinimumWidth(std::max(420, m_changed->sizeHintForColumn(0) + 30));
    m_unchanged->setMinimumWidth(m_changed->minimumWidth());
}

bool AskYesNoWithChanges(QWidget* parent, const QString& text, const QString& caption, const QStringList& changed,
                         const QStringList& unchanged, const QString& footer) {
    MessageRecord record = Record(text, caption, MessageIcon::Question, true);
    record.changed = changed;
    record.unchanged = unchanged;
    QStringList all = changed + unchanged;
    if (!footer.isEmpty()) all << footer;
    record.details = all.join(QLatin1Char('\n'));
    if (handler()) return handler()(record);
    ChangesQuestion box(parent, text, caption, changed, unchanged, footer);
    return box.exec() == QDialog::Accepted;
}

ChoiceQuestion::ChoiceQuestion(QWidget* parent, const QString& text, const QString& caption, const QStringList& heads,
                               const std::vector<QStringList>& rows, const QString& footer)
    : QDialog(parent) {
    setWindowTitle(captionOr(caption));
    auto* icon = new QLabel;
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(side, side));
    auto* question = new QLabel(text);
    question->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(question, 1);

    m_table = new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(heads.size()));
    m_table->setHorizontalHeaderLabels(heads);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    for (int r = 0; r < m_table->rowCount(); ++r)
        for (int c = 0; c < m_table->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(c < rows[r].size() ? rows[r][c] : QString());
            if (c == 0) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Checked);
            }
            m_table->setItem(r, c, item);
        }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table, &QTableWidget::itemChanged, this, [this] { updateYes(); });
    // As tall as its rows up to about fifteen, then it scrolls; as wide as its columns.
    int width = 2 * m_table->frameWidth() + 4;
    for (int c = 0; c < m_table->columnCount(); ++c) width += m_table->columnWidth(c);
    const int rowHeight = m_table->rowCount() > 0 ? m_table->rowHeight(0) : m_table->fontMetrics().height() + 8;
    m_table->setMinimumSize(std::min(std::max(width, 420), 1000),
                            m_table->horizontalHeader()->sizeHint().height() + 2 * m_table->frameWidth() +
                                std::min(std::max(m_table->rowCount(), 3), 15) * rowHeight);

    m_all = new QPushButton(tr("全选"));
    m_none = new QPushButton(tr("全不选"));
    connect(m_all, &QPushButton::clicked, this, [this] { setAll(true); });
    connect(m_none, &QPushButton::clicked, this, [this] { setAll(false); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No);
    m_yes = buttons->button(QDialogButtonBox::Yes);
    m_yes->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_all);
    bottom->addWidget(m_none);
    bottom->addStretch();
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    if (!footer.isEmpty()) {
        auto* notes = new QLabel(footer);
        notes->setWordWrap(true);
        layout->addWidget(notes);
    }
    layout->addLayout(bottom);
}

std::vector<bool> ChoiceQuestion::ticked() const {
    std::vector<bool> out;
    for (int r = 0; r < m_table->rowCount(); ++r) out.push_back(m_table->item(r, 0)->checkState() == Qt::Checked);
    return out;
}

void ChoiceQuestion::setAll(bool on) {
    for (int r = 0; r < m_table->rowCount(); ++r) m_table->item(r, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void ChoiceQuestion::updateYes() {
    const std::vector<bool> t = ticked();
    m_yes->setEnabled(std::find(t.begin(), t.end(), true) != t.end());
}

bool AskToChoose(QWidget* parent, const QString& text, const QString& caption, const QStringList& heads,
                 const std::vector<QStringList>& rows, const QString& footer, std::vector<bool>* ticked) {
    ticked->assign(rows.size(), true);
    if (handler()) {
        MessageRecord record = Record(text, caption, MessageIcon::Question, true);
        record.details = footer;
        record.rows = rows;
        record.ticked = ticked;
        for (const QStringList& row : rows) record.changed << row.join(QStringLiteral("  "));
        const bool yes = handler()(record);
        return yes && std::find(ticked->begin(), ticked->end(), true) != ticked->end();
    }
    ChoiceQuestion box(parent, text, caption, heads, rows, footer);
    if (box.exec() != QDialog::Accepted) return false;
    *ticked = box.ticked();
    return std::find(ticked->begin(), ticked->end(), true) != ticked->end();
}

}  // namespace hx::gui
