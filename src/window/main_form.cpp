// SPDX-License-Identifier: MIT
// The window itself: creation, closing, timers, the poll-interval spin edit and the shortcuts.
#include "main_form.h"

#include "artwork.h"
#include "colours.h"
#include "covered_window_watch.h"
#include "paint_pacer.h"
#include "spin_value.h"
#include "ui_main_form.h"
#include "wait_ms.h"
#include "window_fonts.h"
#include "window_placement.h"

#include "serial_port.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

namespace {

// The window's client area at its three sizes; whatever frame the window manager draws comes
// on top. At start the left part of the layout shows, without the diagnostic area (x 727 on)
// and the recording row (y 508 on); Ctrl+A adds the row, Ctrl+Shift+A shows the whole layout.
constexpr QSize FirstClientSize(717, 505);
constexpr QSize RecordingRowClientSize(717, 571);
constexpr QSize WholeLayoutClientSize(1294, 571);
// Where the window's frame goes at start, where the window fits there.
constexpr QPoint FirstPosition(439, 82);

// The time between two repaints of the window while polling: 20 frames a second, the rate at
// which the window shows readings at the poll timer's starting interval. A faster poll
// interval makes the readings fresher, not the screen busier.
constexpr int FrameIntervalMs = 50;

constexpr Qt::KeyboardModifiers ShortcutModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// A frame's width and height added up on both sides.
QSize extentOf(const QMargins &frame)
{
    return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

} // namespace

TMainForm::TMainForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::TMainForm>())
{
    // The controls stand on an area of their own that scrolls where the screen is too small for
    // them. It takes what the form sets on its top level, the window its caption and name.
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_layoutArea = new QWidget;
    m_layoutArea->setObjectName(QStringLiteral("layoutArea"));
    ui->setupUi(m_layoutArea);
    m_scrollArea->setWidget(m_layoutArea);
    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(m_layoutArea->windowTitle());
    // The handlers named after their controls are the window's.
    QMetaObject::connectSlotsByName(this);
    applyPixelFonts(this);
    makeOwnBackgroundsReadable(this);
    for (int index = 0; index < ui->rgBaudrateButtons->buttons().size(); ++index) {
        auto *item = findChild<QAbstractButton *>(QStringLiteral("rgBaudrateItem%1").arg(index));
        ui->rgBaudrateButtons->setId(item, index);
    }
    ui->Image1->setPixmap(drawLogo(ui->Image1->size()));
    setWindowIcon(drawWindowIcon());
    // Fixed border: system menu and minimize only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    InitTimer = new QTimer(this);
    InitTimer->setObjectName(QStringLiteral("InitTimer"));
    InitTimer->setInterval(200);
    connect(InitTimer, &QTimer::timeout, this, &TMainForm::InitTimerTimer);

    TimerBeriEnkoder = new QTimer(this);
    TimerBeriEnkoder->setObjectName(QStringLiteral("TimerBeriEnkoder"));
    TimerBeriEnkoder->setInterval(50);
    connect(TimerBeriEnkoder, &QTimer::timeout, this, &TMainForm::TimerBeriEnkoderTimer);

    connect(ui->seDelay, &QSpinBox::valueChanged, this, &TMainForm::seDelayChange);
    connect(ui->cbShranjujMeritveDebug, &QCheckBox::toggled, this,
            &TMainForm::cbShranjujMeritveDebugClick);

    // Polling changes the readouts up to a hundred times a second.
    m_paintPacer = new PaintPacer(this, FrameIntervalMs);
    // The poll replies reach the readouts once a frame, and not while the window cannot be seen.
    m_paintPacer->setBeforeFrame([this] {
        if (readoutsOnScreen())
            showPendingReadouts();
    });
    // A wholly covered window paints nothing, not even a focused box's blinking caret. Back in
    // sight (restored, or no longer covered) it shows the latest reply at its next frame, also
    // when no further reply comes to ask for one.
    m_coveredWatch = new CoveredWindowWatch(this);
    connect(m_coveredWatch, &CoveredWindowWatch::wentOutOfSight, m_paintPacer,
            [this] { m_paintPacer->setOutOfSight(true); });
    connect(m_coveredWatch, &CoveredWindowWatch::cameIntoSight, m_paintPacer, [this] {
        m_paintPacer->setOutOfSight(false);
        m_paintPacer->requestFrame();
    });
    pinPollReadoutSizes();

    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);

    FormCreate();
}

TMainForm::~TMainForm()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TMainForm::FormCreate()
{
    ComID = -1;
    Enkoder_CPR = 1;
    m_applicationTitle = windowTitle();
    setWindowTitle(m_applicationTitle + QStringLiteral(" (Ver: ") + QStringLiteral(TREVISOR_VERSION_TEXT)
                   + QStringLiteral(")"));
    showLayoutPart(FirstClientSize, FirstPosition);
    InitTimer->start();
}

void TMainForm::FormClose()
{
    ui->cbShranjujMeritveDebug->setChecked(false);
    // The window is going: waits in progress end, and step-by-step loops stop.
    orodja::setApplicationTerminating(true);
}

void TMainForm::FormDestroy()
{
    TimerBeriEnkoder->stop();
    RxBuffer.clear();
    CloseComPort();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TMainForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers pressed = modifiers & ShortcutModifiers;
    if (key == Qt::Key_A && pressed == Qt::ControlModifier) {
        showLayoutPart(RecordingRowClientSize, framePosition());
        ui->cbShranjujMeritveDebug->setVisible(true);
    }
    if (key == Qt::Key_A && pressed == (Qt::ControlModifier | Qt::ShiftModifier)) {
        ui->cbShranjujMeritveDebug->setVisible(true);
        showLayoutPart(WholeLayoutClientSize, framePosition());
    }
    if (key == Qt::Key_D && pressed == (Qt::ShiftModifier | Qt::AltModifier)
        && m_layoutSize.width() == WholeLayoutClientSize.width())
        ui->btnDebugUnlock->setVisible(true);
}

void TMainForm::showLayoutPart(QSize layoutSize, QPoint framePosition)
{
    m_layoutSize = layoutSize;
    m_layoutArea->setFixedSize(layoutSize);
    const QMargins frame = windowFrameMargins();
    const QSize frameSize = extentOf(frame);
    window_placement::Fit fit{layoutSize};
    QPoint position = framePosition;
    if (const QRect area = availableScreenArea(); !area.isEmpty()) {
        const QSize scrollBars(m_scrollArea->verticalScrollBar()->sizeHint().width(),
                               m_scrollArea->horizontalScrollBar()->sizeHint().height());
        fit = window_placement::fitWithin(layoutSize, frameSize, area.size(), scrollBars);
        position = window_placement::placedWithin(framePosition, fit.client + frameSize, area);
    }
    m_framePosition = position;
    m_fittedFrame = frameSize;
    // The bars are decided here rather than as needed: as needed, they would follow the window's
    // new size only once the event loop ran again, and could show for a moment where all fits.
    m_scrollArea->setHorizontalScrollBarPolicy(fit.scrollsAcross ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(fit.scrollsDown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // Fixed sizes: the operator cannot resize the window.
    setFixedSize(fit.client);
    if (windowHandle() != nullptr)
        setGeometry(QRect(position + QPoint(frame.left(), frame.top()), fit.client));
    else
        move(position); // a window not yet made takes this as its frame's place
}

QMargins TMainForm::windowFrameMargins() const
{
    const QWindow *handle = windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

QPoint TMainForm::framePosition() const
{
    const QMargins frame = windowFrameMargins();
    return geometry().topLeft() - QPoint(frame.left(), frame.top());
}

QRect TMainForm::availableScreenArea() const
{
    const QScreen *onScreen = screen();
    return onScreen != nullptr ? onScreen->availableGeometry() : QRect();
}

void TMainForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // A window manager frames the window only once it is shown, and another one may frame it
    // differently: the window is fitted again to the frame it has, from where it was put the
    // first time and from where it is after that.
    if (extentOf(windowFrameMargins()) != m_fittedFrame)
        showLayoutPart(m_layoutSize, m_fittedFrame.isNull() ? m_framePosition : framePosition());
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_scrollArea->setGeometry(rect());
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr || widget->window() != this)
        return false;
    if (event->type() == QEvent::KeyRelease) {
        m_keyReceiver = nullptr;
        return false;
    }
    // A press the focused control ignored travels on to its parents: it is the same press.
    if (m_keyReceiver != nullptr && widget != m_keyReceiver && widget->isAncestorOf(m_keyReceiver))
        return false;
    m_keyReceiver = widget;
    const auto *keyEvent = static_cast<QKeyEvent *>(event);
    FormKeyDown(keyEvent->key(), keyEvent->modifiers());
    // Not consumed: the focused control still gets the key.
    return false;
}

void TMainForm::seDelayChange()
{
    TimerBeriEnkoder->setInterval(
        spinEditValue(ui->seDelay->cleanText(), ui->seDelay->minimum(), ui->seDelay->maximum()));
}
