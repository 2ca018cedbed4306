// SPDX-License-Identifier: MIT
// Polls a turning simulated encoder with the window on the X display of $DISPLAY, then takes the
// window out of sight and checks that its position readout stands still and no frames are
// painted while the replies go on; then stops polling, brings the window back and checks that the readout shows the last
// reply at once, with no further reply to bring it.
//   minimised: the window manager minimises the window and restores it;
//   covered:   a window of the probe's own, with no frame and outside the window manager, first
//              covers half of it (the readout must go on following), then all of it, and goes.
//              Under a compositing manager the X server never reports a window covered, so
//              there the readout must go on following under the cover.
// Prints one line and exits 0 when all held; otherwise 1 (2 when the window system did not hide
// or show the window).

#include "main_form.h"

#include "poll_decoding.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"
#include "wait_for.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class ProbeForm : public TMainForm {
public:
    QList<serial::PortEntry> ports;
    QList<serial::PortEntry> listPorts() const override { return ports; }
    QString degreesText() const { return findChild<QLabel *>(QStringLiteral("pnlAbsPosDeg"))->text(); }
    // What the readout must say for the last reply.
    QString lastReplyDegrees() const { return quarn::angleText(kot, QLocale()); }
    // The echo label on show and its text.
    QString echoShown() const
    {
        for (const char *name : {"lblRxBuffer1", "lblRxBuffer2"}) {
            if (const auto *echo = findChild<QLabel *>(QString::fromLatin1(name)); !echo->isHidden())
                return echo->text();
        }
        return QStringLiteral("(no echo label on show)");
    }
    // What the echo must show: the last whole cycle of replies, one line each, as it stood when
    // the last reply came (a cycle comes to show with the reply after its last).
    QString shownCycle;

protected:
    void DecodeResponse(int index) override
    {
        shownCycle = m_completedCycle;
        TMainForm::DecodeResponse(index);
        if (index == 1)
            m_cycle.clear();
        m_cycle += quarn::hexEchoLine(quarn::pollCommand(index), QByteArray::fromHex(RxBufferHex))
                       .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (index == 7)
            m_completedCycle = m_cycle;
    }

private:
    QString m_cycle;
    QString m_completedCycle;
};

// Whether a compositing manager runs on the first screen: it owns the selection _NET_WM_CM_S0.
bool compositing()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return false;
    xcb_connection_t *connection = x11->connection();
    const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (atom == nullptr)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner != nullptr && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

// Whether a compositing manager runs, once the window manager has settled on it: a manager such
// as metacity takes up compositing a moment after it starts, so the answer counts only once it
// has stayed the same for a second (up to five seconds in all).
bool settledCompositing()
{
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sameFor;
    sameFor.start();
    bool state = compositing();
    while (sameFor.elapsed() < 1000 && clock.elapsed() < 5000) {
        QTest::qWait(50);
        if (const bool now = compositing(); now != state) {
            state = now;
            sameFor.restart();
        }
    }
    return state;
}

// Counts the frames the window paints: paint events of its widgets, those that come within a
// few milliseconds of each other taken for one frame.
class FrameCounter : public QObject {
public:
    explicit FrameCounter(QWidget *window) : m_window(window) { m_sinceLastPaint.start(); }
    int frames = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window) {
            if (frames == 0 || m_sinceLastPaint.elapsed() > 5)
                ++frames;
            m_sinceLastPaint.restart();
        }
        return false;
    }

private:
    QWidget *m_window;
    QElapsedTimer m_sinceLastPaint;
};

int fail(const char *what, int code = 1)
{
    std::printf("%s\n", what);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    sim::EncoderConfig turning;
    turning.speedCountsPerSecond = 50000;
    sim::SimulatedEncoder encoder(turning);

    ProbeForm form;
    form.ports = serial::extraPortEntries(encoder.portPath());
    form.findChild<QSpinBox *>(QStringLiteral("seDelay"))->setValue(10);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 30000))
        return fail("the window was never exposed", 2);
    // The interval box keeps the focus, its caret blinking every 25 ms, all through.
    QApplication::setCursorFlashTime(50);
    form.activateWindow();
    auto *interval = form.findChild<QSpinBox *>(QStringLiteral("seDelay"));
    interval->setFocus();
    if (!waitFor([&] { return QApplication::focusWidget() == interval; }, 5000))
        return fail("the interval box did not take the focus", 2);
    auto *readEncoder = form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));
    if (!waitFor([&] { return readEncoder->isChecked(); }, 10000))
        return fail("the search did not find the simulated encoder");
    if (!waitFor([&] { return form.degreesText() == form.lastReplyDegrees(); }, 2000))
        return fail("the readout did not follow the replies while shown");

    const bool covered = argc > 1 && std::strcmp(argv[1], "covered") == 0;
    QWidget cover(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    cover.setAutoFillBackground(true);
    const QRect whole = form.frameGeometry().adjusted(-20, -20, 20, 20);
    if (covered) {
        cover.setGeometry(whole.adjusted(0, 0, -whole.width() / 2, 0));
        cover.show();
        if (!QTest::qWaitForWindowExposed(&cover, 10000))
            return fail("the covering window was never shown", 2);
        QTest::qWait(100);
        const QString before = form.degreesText();
        if (!waitFor([&] { return form.degreesText() != before; }, 1000))
            return fail("the readout stood still while the window was only half covered");
        cover.setGeometry(whole);
        if (settledCompositing()) {
            QTest::qWait(100);
            const QString underCover = form.degreesText();
            if (!waitFor([&] { return form.degreesText() != underCover; }, 1000))
                return fail("the readout stood still under a compositing manager, which never reports a "
                            "window covered");
            std::printf("ok: a compositing manager runs; the covered window went on showing the replies\n");
            return 0;
        }
    } else {
        form.showMinimized();
        if (!waitFor([&] { return !form.windowHandle()->isExposed(); }, 10000))
            return fail("the window manager did not hide the minimised window", 2);
    }
    QTest::qWait(100);
    const QString whileHidden = form.degreesText();
    FrameCounter frames(&form);
    app.installEventFilter(&frames);
    QTest::qWait(400);
    app.removeEventFilter(&frames);
    if (form.degreesText() != whileHidden)
        return fail(covered ? "the readout changed while the window was wholly covered"
                            : "the readout changed while the window was minimised");
    // Eight frames fall due in that time, and the caret of the focused interval box blinks
    // eight times; a window out of sight has nothing to paint for either.
    if (frames.frames > 1)
        return fail(covered ? "the wholly covered window went on painting frames"
                            : "the minimised window went on painting frames");
    if (form.lastReplyDegrees() == whileHidden)
        return fail("no new reply came while the window was out of sight");

    // No reply after this one, and no frame it asked for is still to come: only the window's
    // first frame in sight can bring it. It is a cycle's last reply, whose cycle comes to show
    // only with the next reply: until then the other echo label stays on show.
    if (!waitFor([&] { return form.TrenutniUkazIdx == 1; }, 1000))
        return fail("no cycle ended while the window was out of sight");
    readEncoder->setChecked(false);
    const QString expected = form.lastReplyDegrees();
    QTest::qWait(200);
    if (form.degreesText() == expected)
        return fail("the readout took the last reply while out of sight");
    if (covered) {
        cover.hide();
    } else {
        form.showNormal();
        if (!waitFor([&] { return form.windowHandle()->isExposed(); }, 10000))
            return fail("the window manager did not show the restored window", 2);
    }
    if (!waitFor([&] { return form.degreesText() == expected; }, 300))
        return fail(covered ? "the uncovered window did not show the last reply"
                            : "the restored window did not show the last reply");
    // The echo as well: the cycle completed last, whole, although its label was on show, out of
    // sight, when it completed.
    if (!waitFor([&] { return form.echoShown() == form.shownCycle; }, 300))
        return fail(covered ? "the uncovered window did not show the last whole echo cycle"
                            : "the restored window did not show the last whole echo cycle");
    std::printf("ok: held \"%s\" while %s, showed \"%s\" when back in sight\n", qPrintable(whileHidden),
                covered ? "covered" : "minimised", qPrintable(expected));
    return 0;
}
