// SPDX-License-Identifier: MIT
// Polls a turning simulated encoder with the window on the X display of $DISPLAY, minimises the
// window and checks that its position readout stands still while the replies go on; then stops
// polling, restores the window and checks that the readout shows the last reply at once, with
// no further reply to bring it. Prints one line and exits 0 when all held; otherwise 1 (2 when
// the window manager did not hide or show the window).

#include "main_form.h"

#include "poll_decoding.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include <cstdio>

namespace {

class ProbeForm : public TMainForm {
public:
    QList<serial::PortEntry> ports;
    QList<serial::PortEntry> listPorts() const override { return ports; }
    QString degreesText() const { return findChild<QLabel *>(QStringLiteral("pnlAbsPosDeg"))->text(); }
    // What the readout must say for the last reply.
    QString lastReplyDegrees() const { return quarn::angleText(kot, QLocale()); }
};

template <typename Condition>
bool waitUntil(Condition condition, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < limitMs)
        QTest::qWait(10);
    return condition();
}

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
    auto *readEncoder = form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));
    if (!waitUntil([&] { return readEncoder->isChecked(); }, 10000))
        return fail("the search did not find the simulated encoder");
    if (!waitUntil([&] { return form.degreesText() == form.lastReplyDegrees(); }, 2000))
        return fail("the readout did not follow the replies while shown");

    form.showMinimized();
    if (!waitUntil([&] { return !form.windowHandle()->isExposed(); }, 10000))
        return fail("the window manager did not hide the minimised window", 2);
    QTest::qWait(100);
    const QString whileHidden = form.degreesText();
    QTest::qWait(400);
    if (form.degreesText() != whileHidden)
        return fail("the readout changed while the window was minimised");
    if (form.lastReplyDegrees() == whileHidden)
        return fail("no new reply came while the window was minimised");

    // No reply after this one: only the restored window's first frame can bring it.
    readEncoder->setChecked(false);
    const QString expected = form.lastReplyDegrees();
    form.showNormal();
    if (!waitUntil([&] { return form.windowHandle()->isExposed(); }, 10000))
        return fail("the window manager did not show the restored window", 2);
    if (!waitUntil([&] { return form.degreesText() == expected; }, 300))
        return fail("the restored window did not show the last reply");
    std::printf("ok: held \"%s\" while minimised, showed \"%s\" when restored\n", qPrintable(whileHidden),
                qPrintable(expected));
    return 0;
}
