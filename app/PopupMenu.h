#pragma once

class QAction;
class QMenu;
class QPoint;

// Runs a popup menu at a screen point and returns the action chosen, null when none: by a click,
// a key, or an action triggered while the menu is open (exec alone reports only the first).
QAction* ExecPopupMenu(QMenu& menu, const QPoint& globalPoint);
