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

#include "serial_port.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

namespace {

// The window's client area at its three sizes; whatever frame the window manager draws comes
// on top. At start the left part of the layout shows, without the diagnostic area (x 727 on)
// and the recording row (y 508 on); Ctrl+A adds the row, Ctrl+Shift+A shows the whole layout.
constexpr QSize FirstClientSize(717, 505);
constexpr QSize RecordingRowClientSize(717, 571);
constexpr QSize WholeLayoutClientSize(1294, 571);

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
    // A window back in sight (restored, or no longer covered) shows the latest reply at its next
    // frame, also when no further reply comes to ask for one.
    m_coveredWatch = new CoveredWindowWatch(this);
    connect(m_coveredWatch, &CoveredWindowWatch::cameIntoSight, m_paintPacer, &PaintPacer::requestFrame);
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
    setFixedSize(FirstClientSize);
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
    // Fixed sizes: the operator cannot resize the window.
    if (key == Qt::Key_A && pressed == Qt::ControlModifier) {
        setFixedSize(RecordingRowClientSize);
        ui->cbShranjujMeritveDebug->setVisible(true);
    }
    if (key == Qt::Key_A && pressed == (Qt::ControlModifier | Qt::ShiftModifier)) {
        ui->cbShranjujMeritveDebug->setVisible(true);
        setFixedSize(WholeLayoutClientSize);
    }
    if (key == Qt::Key_D && pressed == (Qt::ShiftModifier | Qt::AltModifier)
        && width() == WholeLayoutClientSize.width())
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
