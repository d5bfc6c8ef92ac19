#pragma once
// The category list of the parameter manager: a list box whose right-click
// menu ("添加自定义设定" / "删除选中设定") is handed to its owner.

#include <QListWidget>

class QMenu;

namespace hx::gui {

class CListBoxEx : public QListWidget {
    Q_OBJECT
public:
    explicit CListBoxEx(QWidget* parent = nullptr);

    // The right-click menu (the caller owns it).
    QMenu* createContextMenu(QWidget* parent);

signals:
    void addGroupRequested();
    void deleteGroupRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace hx::gui
