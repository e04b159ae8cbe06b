#include "PopupMenu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

QAction* ExecPopupMenu(QMenu& menu, const QPoint& globalPoint)
{
    QPointer<QAction> triggered;
    const QMetaObject::Connection connection =
        QObject::connect(&menu, &QMenu::triggered, [&triggered](QAction* action) { triggered = action; });
    QAction* chosen = menu.exec(globalPoint);
    QObject::disconnect(connection);
    return chosen != nullptr ? chosen : triggered.data();
}
