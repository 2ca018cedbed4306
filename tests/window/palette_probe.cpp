// SPDX-License-Identifier: MIT
// Shows the window on the X display of $DISPLAY under whatever colour scheme the desktop gives
// it (the test sets Debian's qt6ct with its "darker" colours), with a simulated encoder's
// readings, its lamps lit and the debug chart open, and reads every caption on screen from the
// window's pixels. Prints the window's background colour on the first line, then each caption
// that cannot be read (under 4.5:1); exit code 0 when all can, 1 when one cannot, 2 when the
// window could not be driven.

#include "caption_contrast.h"
#include "main_form.h"
#include "wait_for.h"

#include "simulated_encoder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <cstdio>

namespace {

class ProbeForm : public TMainForm {
public:
    QList<serial::PortEntry> ports;
    QList<serial::PortEntry> listPorts() const override { return ports; }

protected:
    void showMessage(MessageKind, const QString &text) override
    {
        std::printf("the window showed the message \"%s\"\n", qPrintable(text));
    }
};

int fail(const char *what)
{
    std::printf("%s\n", what);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    sim::EncoderConfig config;
    config.startPosition = 5 * 262144 + 92160;
    config.statusWord = 0x0140; // Warning and Signal Low lit
    sim::SimulatedEncoder encoder(config);

    ProbeForm form;
    form.ports = serial::extraPortEntries(encoder.portPath());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 30000))
        return fail("the window was never exposed");
    std::printf("window colour %s\n", qPrintable(form.palette().color(QPalette::Window).name()));
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    auto *readEncoder = form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));
    auto *counts = form.findChild<QLabel *>(QStringLiteral("pnlAbsPosCnt"));
    if (!waitFor([&] { return readEncoder->isChecked() && counts->text() == QStringLiteral("92160"); }, 15000))
        return fail("the window did not find and read the simulated encoder");
    readEncoder->setChecked(false);
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    form.findChild<QAbstractButton *>(QStringLiteral("btnDebugUnlock"))->click();
    form.findChild<QAbstractButton *>(QStringLiteral("btnDebugRead"))->click();
    if (form.findChild<QLabel *>(QStringLiteral("lblKodaNaGrafu"))->text().isEmpty())
        return fail("the debug record was not read");
    QTest::qWait(200);

    int unreadable = 0;
    for (const caption_contrast::Reading &reading : caption_contrast::readCaptions(form)) {
        if (reading.contrast >= caption_contrast::ReadableContrast)
            continue;
        ++unreadable;
        std::printf("%s \"%s\": %.2f:1\n", qPrintable(reading.control), qPrintable(reading.caption), reading.contrast);
    }
    return unreadable == 0 ? 0 : 1;
}
