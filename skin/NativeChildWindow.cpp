#include "NativeChildWindow.h"

void CNativeChildWindow::Place(const SkinRect& rect)
{
    if (m_widget != nullptr)
        m_widget->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
}

void CNativeChildWindow::Show(bool visible)
{
    if (m_widget != nullptr && m_widget->isVisibleTo(m_widget->parentWidget()) != visible)
        m_widget->setVisible(visible);
}
