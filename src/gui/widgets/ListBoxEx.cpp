#include "gui/widgets/ListBoxEx.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace hx::gui {

CListBoxEx::CListBoxEx(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    setFont(f);
}

QMenu* CListBoxEx::createContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    connect(menu->addAction(tr("添加自定义设定")), &QAction::triggered, this, &CListBoxEx::addGroupRequested);
    connect(menu->addAction(tr("删除选中设定")), &QAction::triggered, this, &CListBoxEx::deleteGroupRequested);
    return menu;
}

void CListBoxEx::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

}  // namespace hx::gui
