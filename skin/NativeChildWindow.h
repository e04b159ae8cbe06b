#pragma once

#include "NativeWindow.h"

#include <QPointer>
#include <QWidget>

// A Qt widget standing over a form's control: the skin places it in window coordinates and shows
// or hides it with its panel.
class CNativeChildWindow : public CNativeWindow {
public:
    // The widget is a child of the skin window, which owns it; a widget already gone is left be.
    explicit CNativeChildWindow(QWidget* widget) : m_widget(widget) {}

    void Place(const SkinRect& rect) override;
    void Show(bool visible) override;

private:
    QPointer<QWidget> m_widget;
};
