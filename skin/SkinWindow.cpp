#include "SkinWindow.h"

#include "GlobalTimer.h"
#include "PanelStack.h"
#include "SkinEvent.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>

namespace {

// One QTimer for the whole process; it lives on the GUI thread and runs while the global timer
// has clients. The application object owns it, so it goes with the event loop it needs rather
// than at static destruction; the guarded pointer notices.
class CQtTimerDriver : public CTimerDriver {
public:
    CQtTimerDriver() : m_timer(new QTimer(QCoreApplication::instance()))
    {
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer, &QTimer::timeout, [] { CGlobalTimer::Tick(); });
    }
    void Start(int periodMs) override
    {
        if (m_timer != nullptr)
            m_timer->start(periodMs);
    }
    void Stop() override
    {
        if (m_timer != nullptr)
            m_timer->stop();
    }

private:
    QPointer<QTimer> m_timer;
};

uint32_t KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    uint32_t keys = 0;
    if (buttons & Qt::LeftButton)
        keys |= SkinKeys::LeftButton;
    if (buttons & Qt::RightButton)
        keys |= SkinKeys::RightButton;
    if (buttons & Qt::MiddleButton)
        keys |= SkinKeys::MiddleButton;
    if (modifiers & Qt::ShiftModifier)
        keys |= SkinKeys::Shift;
    if (modifiers & Qt::ControlModifier)
        keys |= SkinKeys::Control;
    return keys;
}

} // namespace

CSkinWindow::CSkinWindow(QWidget* parent) : QWidget(parent)
{
    static CQtTimerDriver driver;
    static bool installed = false;
    if (!installed) {
        CGlobalTimer::SetDriver(&driver);
        installed = true;
    }
    setMouseTracking(true);
    // Every pixel comes from the back picture: Qt need not clear the area first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSkinWindow::~CSkinWindow()
{
    if (m_stack != nullptr)
        m_stack->OnDestroy();
}

void CSkinWindow::Attach(CPanelStack* stack, bool /*hasFrame*/)
{
    m_stack = stack;
    if (stack != nullptr) {
        int32_t width = 0, height = 0;
        stack->GetSize(width, height);
        if (width > 0 && height > 0)
            SetClientSize(width, height);
    }
    InvalidateAll();
}

void CSkinWindow::SetCapture()
{
    grabMouse();
}

void CSkinWindow::ReleaseCapture()
{
    releaseMouse();
}

void CSkinWindow::SetClientSize(int32_t width, int32_t height)
{
    if (m_resizable)
        resize(width, height);
    else
        setFixedSize(width, height);
}

void CSkinWindow::SetResizable(bool resizable)
{
    m_resizable = resizable;
    if (resizable) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(size());
    }
}

void CSkinWindow::InvalidateAll()
{
    m_damaged = {0, 0, width(), height()};
    update();
}

void CSkinWindow::InvalidateRect(const SkinRect& rect)
{
    if (rect.IsEmpty())
        return;
    m_damaged = m_damaged.Union(rect);
    update(QRect(rect.left, rect.top, rect.Width(), rect.Height()));
}

bool CSkinWindow::GetUpdateRect(SkinRect& rect) const
{
    rect = m_damaged;
    return !m_damaged.IsEmpty();
}

void CSkinWindow::paintEvent(QPaintEvent* event)
{
    m_damaged = {};
    if (m_stack == nullptr)
        return;
    CSkinPicture& back = m_stack->BackPicture();
    if (!back.HasPixels())
        return;
    // The image wraps the picture's own pixels: 0xAARRGGBB words are Format_RGB32 as they stand.
    const QImage image(reinterpret_cast<uchar*>(back.Pixels()), back.Width(), back.Height(),
                       static_cast<qsizetype>(back.Width()) * 4, QImage::Format_RGB32);
    QPainter painter(this);
    const QRect bounds(0, 0, back.Width(), back.Height());
    for (const QRect& damaged : event->region()) {
        const QRect r = damaged.intersected(bounds);
        if (r.isEmpty())
            continue;
        painter.drawImage(r.topLeft(), image, r);
        m_presentedPixels += static_cast<int64_t>(r.width()) * r.height();
    }
    m_stack->OnPaint();
}

void CSkinWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_stack != nullptr) {
        const QPoint p = event->position().toPoint();
        m_stack->OnMouseMove(p.x(), p.y(), KeyFlags(event->buttons(), event->modifiers()));
    }
}

void CSkinWindow::Button(QMouseEvent* event, bool down, bool doubleClick)
{
    if (m_stack == nullptr)
        return;
    const bool right = event->button() == Qt::RightButton;
    if (!right && event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    m_stack->OnMouseButton(p.x(), p.y(), right, down, doubleClick,
                           KeyFlags(event->buttons(), event->modifiers()));
}

void CSkinWindow::mousePressEvent(QMouseEvent* event)
{
    Button(event, true, false);
}

void CSkinWindow::mouseReleaseEvent(QMouseEvent* event)
{
    Button(event, false, false);
}

void CSkinWindow::mouseDoubleClickEvent(QMouseEvent* /*event*/)
{
    // Qt reports the second press of a double click as a press and then once more as a double
    // click; passing both on would count two presses against one release and leave switches
    // captured. The press has been delivered already.
}

void CSkinWindow::wheelEvent(QWheelEvent* event)
{
    if (m_stack == nullptr)
        return;
    const QPoint p = event->position().toPoint();
    // angleDelta keeps the window system's units: 120 per notch.
    m_stack->OnMouseWheel(p.x(), p.y(), KeyFlags(event->buttons(), event->modifiers()),
                          event->angleDelta().y());
}

void CSkinWindow::closeEvent(QCloseEvent* event)
{
    if (m_stack != nullptr)
        m_stack->OnDestroy();
    QWidget::closeEvent(event);
}
