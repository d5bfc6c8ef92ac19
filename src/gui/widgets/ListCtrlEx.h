#pragma once
// The editable parameter list: a report list whose value cell is edited in
// place after two clicks on the same cell, checked against the range text
// of its row, and handed to the owner, which writes it to the drive and puts
// back what the drive holds. Column 0 (the address) is present but never
// seen. The chosen row is drawn highlighted; a context menu offers the
// parameter's help page and the user-defined groups.
//
// Groups: the menu lists every group name, and the group signals carry any
// index (there is no limit of five slots as message numbers once had).

#include <QColor>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>
#include <functional>

class QMenu;

namespace hx::gui {

// The in-place editor. It keeps the rectangle of the value cell it edits,
// whatever asks it to move or resize; Enter accepts, Escape cancels, and
// losing the focus accepts.
class CItemEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CItemEdit(QWidget* parent);

    void keepRect(const QRect& rect);
    QRect keptRect() const { return m_rect; }

signals:
    // Emitted once: the edit ends, accepted or cancelled.
    void editingDone(bool cancelled);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void finish(bool cancelled);

    QRect m_rect;
    bool m_done = false;
};

class CListCtrlEx : public QTableWidget {
    Q_OBJECT
public:
    enum Column {
        AddressColumn = 0,
        NameColumn,
        ValueColumn,
        ScopeColumn,
        DefaultColumn,
        UnitsColumn,
        RemarkColumn,
        ColumnCount
    };

    static QColor HighlightColor() { return QColor(0, 250, 128); }
    // A row whose last write the drive did not answer.
    static QColor UnconfirmedColor() { return QColor(255, 190, 190); }
    // A row whose value lies outside its parameter's range.
    static QColor OutOfRangeColor() { return QColor(255, 215, 110); }

    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Appends a row of seven texts (address, name, value, range, default,
    // unit, remark); returns its number.
    int appendRow(const QStringList& texts);
    // Removes every row and forgets the selection and the highlight.
    void clearRows();
    // Name to unit as wide as their widest text or heading, so that no value
    // or range is cut; the remark takes the width that is left.
    void fitColumnsToContents();

    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    uint16_t rowAddress(int row) const;
    // The row showing the address, -1 when none does.
    int rowOfAddress(uint16_t address) const;

    int highlightedRow() const { return m_highlightRow; }
    int selectedRow() const { return m_selRow; }
    int selectedColumn() const { return m_selCol; }
    bool cellSelected() const { return m_cellSelected; }
    // The text of column 0 of the last clicked row, and its number.
    QString currentAddressText() const { return m_addressText; }
    uint16_t currentAddress() const { return m_address; }

    bool editing() const { return m_editor != nullptr; }
    CItemEdit* editor() const { return m_editor; }
    int editRow() const { return m_editRow; }

    // The names of the user-defined groups, in category-list order.
    void setGroupNames(const QStringList& names);
    QStringList groupNames() const { return m_groupNames; }

    // Asked before an edit starts; false refuses it (the owner says why).
    void setEditGuard(std::function<bool()> guard) { m_editGuard = std::move(guard); }

    // A row whose write was not confirmed by the drive is drawn in its own
    // colour with a tooltip on the value cell, until confirmed.
    void setRowConfirmed(int row, bool confirmed);
    bool rowConfirmed(int row) const;
    // A row whose value lies outside its range is drawn in its own colour
    // with the tooltip on the value cell.
    void setRowOutOfRange(int row, bool outside, const QString& tip = {});
    bool rowOutOfRange(int row) const;
    // The background a row is drawn on; invalid for the normal background.
    QColor rowBackground(int row) const;

    // The end of an edit of the row's value: checks the typed text against
    // the number rule and the row's range, tells the user what is wrong, or
    // sets the value cell and emits cellAccepted(row, 3). True when accepted.
    bool ValidateEdit(int row, const QString& text, bool cancelled);

    // Digits, A-F/a-f, at most one '.', '+' or '-' only in the first place,
    // and a digit first after the sign.
    static bool IsNumberText(const QString& text);

    // The context menu for the highlighted row (the caller owns it).
    QMenu* createContextMenu(QWidget* parent);

signals:
    void cellAccepted(int row, int column);
    void helpRequested(const QString& name);
    void addToGroup(int group, quint16 address, const QString& name);
    void removeFromGroup(int group, quint16 address);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void leftClick(const QPoint& pos);
    void beginEdit(int row);
    void endEdit(bool cancelled);
    bool mouseInside() const;
    void clearSelectedCell();

    int m_highlightRow = -1;
    int m_selRow = -1;
    int m_selCol = -1;
    bool m_cellSelected = false;
    bool m_clickFlag = false;
    CItemEdit* m_editor = nullptr;
    int m_editRow = -1;
    QRect m_editRect;
    QString m_addressText;
    uint16_t m_address = 0;
    QStringList m_groupNames;
    std::function<bool()> m_editGuard;
};

}  // namespace hx::gui
