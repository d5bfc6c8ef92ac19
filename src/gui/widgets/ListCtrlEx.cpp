#include "gui/widgets/ListCtrlEx.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

#include "core/params/ParameterFile.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {
namespace {

int Lenient(const QString& text) { return hx::LenientToInt(text.toStdString()); }

// Draws the highlighted and the unconfirmed rows on their colours, every
// other row with black text, and never the style's own selection.
class RowDelegate : public QStyledItemDelegate {
public:
    explicit RowDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const QColor background = m_list->rowBackground(index.row());
        if (background.isValid()) opt.backgroundBrush = background;
        opt.palette.setColor(QPalette::Text, Qt::black);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

private:
    CListCtrlEx* m_list;
};

constexpr int kUnconfirmedRole = Qt::UserRole + 1;
constexpr int kOutOfRangeRole = Qt::UserRole + 2;

}  // namespace

// ---------------------------------------------------------------------------

CItemEdit::CItemEdit(QWidget* parent) : QLineEdit(parent) { setFrame(true); }

void CItemEdit::keepRect(const QRect& rect) {
    m_rect = rect;
    setGeometry(rect);
}

void CItemEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: finish(false); return;
    case Qt::Key_Escape: finish(true); return;
    default: QLineEdit::keyPressEvent(event);
    }
}

void CItemEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A popup (the editor's own context menu) does not end the edit.
    if (event->reason() != Qt::PopupFocusReason) finish(false);
}

void CItemEdit::moveEvent(QMoveEvent* event) {
    QLineEdit::moveEvent(event);
    if (m_rect.isValid() && geometry() != m_rect) setGeometry(m_rect);
}

void CItemEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    if (m_rect.isValid() && geometry() != m_rect) setGeometry(m_rect);
}

void CItemEdit::finish(bool cancelled) {
    if (m_done) return;
    m_done = true;
    emit editingDone(cancelled);
}

// ---------------------------------------------------------------------------

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableWidget(parent) {
    setColumnCount(ColumnCount);
    setHorizontalHeaderLabels({tr("参数地址"), tr("参数名称"), tr("参数值"), tr("范 围"), tr("默认值"), tr("单 位"),
                               tr("备 注")});
    const int widths[ColumnCount] = {0, 200, 100, 150, 80, 80, 800};
    horizontalHeader()->setMinimumSectionSize(0);
    for (int c = 0; c < ColumnCount; ++c) setColumnWidth(c, widths[c]);
    // The address is kept for the owner's use and never seen.
    setColumnHidden(AddressColumn, true);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(20);
    setShowGrid(true);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // The highlight below is the selection; the view's own would hide it.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setItemDelegate(new RowDelegate(this));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    setFont(f);
}

CListCtrlEx::~CListCtrlEx() = default;

int CListCtrlEx::appendRow(const QStringList& texts) {
    const int row = rowCount();
    insertRow(row);
    for (int c = 0; c < ColumnCount; ++c) {
        auto* item = new QTableWidgetItem(c < texts.size() ? texts[c] : QString());
        item->setFlags(Qt::ItemIsEnabled);
        // A remark longer than its column is read in full from its tip.
        if (c == RemarkColumn) item->setToolTip(item->text());
        setItem(row, c, item);
    }
    return row;
}

void CListCtrlEx::fitColumnsToContents() {
    for (int c = NameColumn; c < RemarkColumn; ++c) resizeColumnToContents(c);
}

void CListCtrlEx::clearRows() {
    if (m_editor) endEdit(true);
    setRowCount(0);
    m_highlightRow = -1;
    clearSelectedCell();
}

QString CListCtrlEx::cellText(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void CListCtrlEx::setCellText(int row, int column, const QString& text) {
    if (QTableWidgetItem* it = item(row, column)) it->setText(text);
}

uint16_t CListCtrlEx::rowAddress(int row) const {
    return static_cast<uint16_t>(static_cast<uint32_t>(Lenient(cellText(row, AddressColumn))));
}

int CListCtrlEx::rowOfAddress(uint16_t address) const {
    for (int r = 0; r < rowCount(); ++r)
        if (rowAddress(r) == address) return r;
    return -1;
}

void CListCtrlEx::setGroupNames(const QStringList& names) { m_groupNames = names; }

void CListCtrlEx::setRowConfirmed(int row, bool confirmed) {
    QTableWidgetItem* value = item(row, ValueColumn);
    if (!value) return;
    value->setData(kUnconfirmedRole, confirmed ? QVariant() : QVariant(true));
    value->setToolTip(confirmed ? QString() : tr("驱动器没有应答，此数值未经驱动器确认"));
    viewport()->update();
}

bool CListCtrlEx::rowConfirmed(int row) const {
    const QTableWidgetItem* value = item(row, ValueColumn);
    return !value || !value->data(kUnconfirmedRole).toBool();
}

void CListCtrlEx::setRowOutOfRange(int row, bool outside, const QString& tip) {
    QTableWidgetItem* value = item(row, ValueColumn);
    if (!value) return;
    value->setData(kOutOfRangeRole, outside ? QVariant(true) : QVariant());
    if (rowConfirmed(row)) value->setToolTip(outside ? tip : QString());
    viewport()->update();
}

bool CListCtrlEx::rowOutOfRange(int row) const {
    const QTableWidgetItem* value = item(row, ValueColumn);
    return value && value->data(kOutOfRangeRole).toBool();
}

QColor CListCtrlEx::rowBackground(int row) const {
    if (row == m_highlightRow) return HighlightColor();
    if (!rowConfirmed(row)) return UnconfirmedColor();
    if (rowOutOfRange(row)) return OutOfRangeColor();
    return {};
}

bool CListCtrlEx::IsNumberText(const QString& text) {
    // The letters A-F pass the character test below, so "abc" alone would be
    // read as 0 and written to the drive: a number starts with a digit,
    // after its sign ("1A" still reads as 1).
    if (!text.isEmpty()) {
        const int first = (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) ? 1 : 0;
        if (first >= text.size() || !text[first].isDigit() || text[first].unicode() > '9') return false;
    }
    int dots = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const ushort u = c.unicode();
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')) continue;
        if (u == '.') {
            if (++dots > 1) return false;
            continue;
        }
        if ((u == '+' || u == '-') && i == 0) continue;
        return false;
    }
    return true;
}

bool CListCtrlEx::ValidateEdit(int row, const QString& text, bool cancelled) {
    if (cancelled || text.isEmpty() || row < 0 || row >= rowCount()) return false;
    const QString caption = tr("输入错误");
    const QString outOfRange = tr("输入数值超出参数取值范围!");
    if (!IsNumberText(text)) {
        ShowMessage(this, outOfRange, caption);
        return false;
    }
    const QString range = cellText(row, ScopeColumn);
    int minimum = 0, maximum = 0;
    const int tilde = range.indexOf(QLatin1Char('~'));
    if (tilde >= 0) {
        minimum = Lenient(range.left(tilde));
        maximum = Lenient(range.mid(tilde + 1));
    } else {
        maximum = Lenient(range);
    }
    const int value = Lenient(text);
    if (value < minimum || value > maximum) {
        ShowMessage(this, outOfRange + range, caption);
        return false;
    }
    setCellText(row, ValueColumn, text);
    emit cellAccepted(row, ScopeColumn);
    return true;
}

QMenu* CListCtrlEx::createContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const int row = m_highlightRow;
    QAction* help = menu->addAction(tr("查看参数"));
    connect(help, &QAction::triggered, this, [this, row] {
        if (row >= 0 && row < rowCount()) emit helpRequested(cellText(row, NameColumn));
    });
    if (!m_groupNames.isEmpty()) menu->addSeparator();
    for (int i = 0; i < m_groupNames.size(); ++i) {
        QAction* add = menu->addAction(tr("添加到") + m_groupNames[i]);
        connect(add, &QAction::triggered, this, [this, row, i] {
            if (row >= 0 && row < rowCount()) emit addToGroup(i, rowAddress(row), cellText(row, NameColumn));
        });
    }
    if (!m_groupNames.isEmpty()) menu->addSeparator();
    for (int i = 0; i < m_groupNames.size(); ++i) {
        QAction* remove = menu->addAction(tr("移出") + m_groupNames[i]);
        connect(remove, &QAction::triggered, this, [this, row, i] {
            if (row >= 0 && row < rowCount()) emit removeFromGroup(i, rowAddress(row));
        });
    }
    return menu;
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftClick(event->position().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        // The context menu event follows; nothing else moves.
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click counts as a second click, as the two-click rule wants.
    mousePressEvent(event);
}

void CListCtrlEx::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void CListCtrlEx::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

void CListCtrlEx::leftClick(const QPoint& pos) {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) {
        if (!m_editor) m_cellSelected = false;
        viewport()->update();
        return;
    }
    const int row = index.row(), column = index.column();
    if (m_cellSelected && row == m_selRow && column == m_selCol) {
        m_addressText = cellText(row, AddressColumn);
        m_address = rowAddress(row);
        beginEdit(row);
        return;
    }
    m_selRow = row;
    m_selCol = column;
    m_highlightRow = row;
    m_cellSelected = true;
    m_clickFlag = true;
    viewport()->update();
}

void CListCtrlEx::beginEdit(int row) {
    if (m_editor || m_selCol == AddressColumn) return;
    if (m_editGuard && !m_editGuard()) return;
    m_editRow = row;
    m_editRect = visualRect(model()->index(row, ValueColumn));
    m_editor = new CItemEdit(viewport());
    m_editor->keepRect(m_editRect);
    m_editor->setText(cellText(row, ValueColumn));
    m_editor->selectAll();
    connect(m_editor, &CItemEdit::editingDone, this, &CListCtrlEx::endEdit);
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void CListCtrlEx::endEdit(bool cancelled) {
    if (!m_editor) return;
    CItemEdit* editor = m_editor;
    const QString text = editor->text();
    const int row = m_editRow;
    // Detach first: the message of a refused value takes the focus away.
    const bool keyEnded = editor->hasFocus();
    m_editor = nullptr;
    m_editRow = -1;
    editor->hide();
    editor->deleteLater();
    // Enter or Escape hands the focus back to the list; a click elsewhere keeps it there.
    if (keyEnded) setFocus(Qt::OtherFocusReason);
    ValidateEdit(row, text, cancelled);
    if (!mouseInside()) clearSelectedCell();
    viewport()->update();
}

bool CListCtrlEx::mouseInside() const { return rect().contains(mapFromGlobal(QCursor::pos())); }

void CListCtrlEx::clearSelectedCell() {
    m_selRow = -1;
    m_selCol = -1;
    m_cellSelected = false;
    m_clickFlag = false;
}

void CListCtrlEx::contextMenuEvent(QContextMenuEvent* event) {
    const int row = rowAt(event->pos().y());
    m_highlightRow = row;
    viewport()->update();
    if (row < 0) return;
    QMenu* menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CListCtrlEx::focusOutEvent(QFocusEvent* event) {
    QTableWidget::focusOutEvent(event);
    if (m_editor) return;  // the focus went to the editor
    if (!mouseInside()) {
        clearSelectedCell();
        viewport()->update();
    }
}

void CListCtrlEx::scrollContentsBy(int dx, int dy) {
    QTableWidget::scrollContentsBy(dx, dy);
    if (m_editor && m_editRow >= 0) {
        m_editRect = visualRect(model()->index(m_editRow, ValueColumn));
        m_editor->keepRect(m_editRect);
    }
    viewport()->update();
}

}  // namespace hx::gui
