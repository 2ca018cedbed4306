// SPDX-License-Identifier: MIT
// The window itself: creation, closing, timers, the poll-interval spin edit and the shortcuts.
#include "main_form.h"

#include "artwork.h"
#include "paint_pacer.h"
#include "spin_value.h"
#include "ui_main_form.h"
#include "wait_ms.h"
#include "window_fonts.h"

#include "serial_port.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

namespace {

// Where no window manager draws a frame, the layout's own proportions: a client area of
// 1294 × 571 in an outer 1302 × 600.
constexpr QSize FramelessExtent(8, 29);

// The time between two repaints of the window while polling: 20 frames a second, the rate at
// which the window shows readings at the poll timer's starting interval. A faster poll
// interval makes the readings fresher, not the screen busier.
constexpr int FrameIntervalMs = 50;

constexpr Qt::KeyboardModifiers ShortcutModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

} // namespace

TMainForm::TMainForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::TMainForm>())
{
    ui->setupUi(this);
    applyPixelFonts(this);
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
    new PaintPacer(this, FrameIntervalMs);
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
    move(439, 82);
    setOuterSize(725, 534);
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
        setOuterSize(725, 600);
        ui->cbShranjujMeritveDebug->setVisible(true);
    }
    if (key == Qt::Key_A && pressed == (Qt::ControlModifier | Qt::ShiftModifier)) {
        ui->cbShranjujMeritveDebug->setVisible(true);
        setOuterSize(1302, 600);
    }
    if (key == Qt::Key_D && pressed == (Qt::ShiftModifier | Qt::AltModifier)
        && m_outerSize.width() > 1000)
        ui->btnDebugUnlock->setVisible(true);
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

void TMainForm::setOuterSize(int width, int height)
{
    m_outerSize = QSize(width, height);
    fitClientToOuterSize();
}

QSize TMainForm::frameExtent() const
{
    if (isVisible()) {
        const QSize extent = frameGeometry().size() - geometry().size();
        if (extent.width() > 0 || extent.height() > 0)
            return extent;
    }
    return FramelessExtent;
}

void TMainForm::fitClientToOuterSize()
{
    m_frameUsed = frameExtent();
    // Fixed size: the operator cannot resize the window.
    setFixedSize(m_outerSize - m_frameUsed);
}

// A window manager reports its frame only once the window is on screen; fit to it then.
void TMainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (frameExtent() != m_frameUsed)
        fitClientToOuterSize();
}

void TMainForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (frameExtent() != m_frameUsed)
        fitClientToOuterSize();
}
