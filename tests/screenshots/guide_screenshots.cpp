// SPDX-License-Identifier: MIT
// Makes the pictures of docs/guide.md from the real window. scripts/screenshots runs it on an
// X server with a window manager, beside simulated encoders offered through QUARN_EXTRA_PORTS;
// it shows the window, lets it find the encoder, drives it with keys and clicks as an operator
// would, and takes each picture from the screen, window frame, tooltips and all.
//
//   guide_screenshots --out DIR --recordings DIR     makes the pictures (PNG) in the first DIR
//   guide_screenshots --check FILE...                 fails for a picture that is missing or blank
//
// Exit code 0 when every picture was made (or passed the check).

#include "main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace {

// The window as the program shows it; recordings go to a folder of the run's own, and a
// message box (which would wait for a click) ends the run instead.
class GuideForm : public TMainForm {
public:
    explicit GuideForm(QString recordings) : m_recordings(std::move(recordings)) {}

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *widget = findChild<T *>(QString::fromLatin1(name));
        if (widget == nullptr) {
            std::fprintf(stderr, "guide_screenshots: the window has no control %s\n", name);
            std::exit(EXIT_FAILURE);
        }
        return widget;
    }

protected:
    QString recordingDirectory() const override { return m_recordings; }
    void showMessage(MessageKind, const QString &text) override
    {
        std::fprintf(stderr, "guide_screenshots: the window showed the message \"%s\"\n", qPrintable(text));
        std::exit(EXIT_FAILURE);
    }

private:
    QString m_recordings;
};

template <typename Condition>
bool waitFor(Condition condition, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "guide_screenshots: %s\n", what);
    std::exit(EXIT_FAILURE);
}

// Whether a picture shows something: several colours, none of which covers nearly all of it.
// A grab of an unmapped window or of an empty screen is one colour.
bool showsSomething(const QImage &image, QString &why)
{
    if (image.isNull()) {
        why = QStringLiteral("cannot be read as a picture");
        return false;
    }
    if (image.width() < 40 || image.height() < 40) {
        why = QStringLiteral("is only %1 x %2 pixels").arg(image.width()).arg(image.height());
        return false;
    }
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, qint64> counts;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            ++counts[line[x]];
    }
    qint64 commonest = 0;
    for (const qint64 count : counts)
        commonest = std::max(commonest, count);
    const qint64 total = qint64{pixels.width()} * pixels.height();
    if (counts.size() < 8 || commonest * 100 > total * 95) {
        why = QStringLiteral("is blank (%1 colours, the commonest on %2% of it)")
                  .arg(counts.size())
                  .arg(commonest * 100 / total);
        return false;
    }
    return true;
}

int checkPictures(const QStringList &files)
{
    if (files.isEmpty())
        fail("--check needs the pictures to check");
    int failures = 0;
    for (const QString &file : files) {
        QString why;
        if (!showsSomething(QImage(file), why)) {
            std::fprintf(stderr, "guide_screenshots: %s %s\n", qPrintable(file), qPrintable(why));
            ++failures;
        }
    }
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

class Photographer {
public:
    Photographer(GuideForm &form, QString directory) : m_form(form), m_directory(std::move(directory)) {}

    // The whole window with the frame the window manager drew around it.
    void window(const char *name) { save(name, m_form.frameGeometry()); }

    // The part of the window around the named controls, widened to take in whatever pop-up
    // lies over it, such as a tooltip.
    void part(const char *name, std::initializer_list<const char *> controls, const QRect &alsoGlobal = {})
    {
        QRect area;
        for (const char *control : controls) {
            const QWidget *widget = m_form.control(control);
            area = area.united(QRect(widget->mapTo(&m_form, QPoint(0, 0)), widget->size()));
        }
        area = area.adjusted(-Margin, -Margin, Margin, Margin).intersected(m_form.rect());
        QRect global(m_form.mapToGlobal(area.topLeft()), area.size());
        if (alsoGlobal.isValid())
            global = global.united(alsoGlobal.adjusted(-Margin, -Margin, Margin, Margin));
        save(name, global);
    }

private:
    // Small enough to leave out the edges of neighbouring controls.
    static constexpr int Margin = 3;

    void save(const char *name, const QRect &global)
    {
        // Whatever the last step changed is painted, and the X server has drawn it.
        QTest::qWait(250);
        QScreen *screen = m_form.screen();
        const QImage image =
            screen->grabWindow(0, global.x(), global.y(), global.width(), global.height()).toImage();
        QString why;
        if (!showsSomething(image, why))
            fail(qPrintable(QStringLiteral("the picture %1 %2").arg(QString::fromLatin1(name), why)));
        const QString path = QDir(m_directory).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        // Quality 0: the strongest compression.
        if (!image.convertToFormat(QImage::Format_RGB888).save(path, "PNG", 0))
            fail(qPrintable(QStringLiteral("cannot write %1").arg(path)));
        std::printf("%s %dx%d\n", name, image.width(), image.height());
        std::fflush(stdout);
    }

    GuideForm &m_form;
    QString m_directory;
};

void click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// The window at the size it has fixed for itself, framed, on the screen and painted.
// Ctrl+Shift+A makes it wider than a small screen; the window manager may leave part of it
// outside, so it is moved in.
void settle(GuideForm &form)
{
    const QSize clientSize = form.minimumSize();
    if (!waitFor([&] { return form.size() == clientSize && form.frameGeometry().size() != form.size(); }, 5000))
        fail(qPrintable(QStringLiteral("the window manager did not give the window its size %1 x %2 and a frame "
                                       "(window %3 x %4, frame %5 x %6)")
                            .arg(clientSize.width())
                            .arg(clientSize.height())
                            .arg(form.width())
                            .arg(form.height())
                            .arg(form.frameGeometry().width())
                            .arg(form.frameGeometry().height())));
    const QRect screen = form.screen()->geometry();
    if (!screen.contains(form.frameGeometry())) {
        form.move(screen.topLeft());
        waitFor([&] { return screen.contains(form.frameGeometry()); }, 3000);
    }
    QTest::qWait(400);
}

QWidget *visibleTooltip()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    return nullptr;
}

// The tooltip of a list item, shown as resting the mouse on it shows it.
QRect showItemTooltip(QListWidget *list, int row)
{
    const QPoint local = list->visualItemRect(list->item(row)).center();
    QHelpEvent help(QEvent::ToolTip, local, list->viewport()->mapToGlobal(local));
    QCoreApplication::sendEvent(list->viewport(), &help);
    if (!waitFor([] { return visibleTooltip() != nullptr; }, 3000))
        fail("the port's tooltip did not show");
    QTest::qWait(300);
    return visibleTooltip()->frameGeometry();
}

void hideTooltip()
{
    QToolTip::hideText();
    if (!waitFor([] { return visibleTooltip() == nullptr; }, 3000))
        fail("the port's tooltip did not go");
}

int takePictures(const QString &outDirectory, const QString &recordings)
{
    if (!QDir().mkpath(outDirectory) || !QDir().mkpath(recordings))
        fail("cannot create the folders for the pictures and the recording");
    // The pointer rests away from the window, so that no hover or tooltip of its own shows.
    QCursor::setPos(0, 0);

    GuideForm form(recordings);
    form.show();
    Photographer camera(form, outDirectory);
    settle(form);

    // The search: the first port is held by another program, the second is the encoder.
    auto *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    auto *degrees = form.control<QLabel>("pnlAbsPosDeg");
    if (!waitFor([&] { return readEncoder->isChecked() && degrees->text() != QStringLiteral("not connected"); },
                 15000))
        fail("the window did not find the encoder");
    // A few rounds of the poll cycle, so that every readout and lamp has its value. No text
    // cursor blinks in the pictures.
    if (QWidget *focused = QApplication::focusWidget())
        focused->clearFocus();
    QTest::qWait(1200);
    camera.window("window");

    auto *ports = form.control<QListWidget>("listCom");
    int heldPort = -1;
    for (int row = 0; row < ports->count() && heldPort < 0; ++row)
        if (!ports->item(row)->toolTip().isEmpty())
            heldPort = row;
    if (heldPort < 0)
        fail("no port of the list was marked as one that cannot be opened");
    const QRect tip = showItemTooltip(ports, heldPort);
    camera.part("port-search", {"listCom", "rgBaudrate", "seDelay"}, tip);
    hideTooltip();

    camera.part("readouts", {"pnlAbsPosMT", "PaintBoxKot", "gbEncoderStatus", "btnResetPersistentStatus",
                            "lblSpeed", "lblQuarnairGap"});

    // Self-calibration: the click returns when the run has reported.
    click(form.control("btnStartSelfCal"));
    auto *report = form.control<QLabel>("lblAselfCalResult");
    if (!report->text().contains(QStringLiteral("after calib")))
        fail("the self-calibration gave no report");
    QTest::qWait(500);
    camera.part("self-calibration", {"btnMTzero", "seSelfCalArc", "btnStartSelfCal", "GroupBox4"});

    // The recording row (Ctrl+A), a recording, then the whole layout (Ctrl+Shift+A) with the
    // debug mode's own buttons (Shift+Alt+D).
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    settle(form);
    auto *record = form.control<QCheckBox>("cbShranjujMeritveDebug");
    click(record);
    if (!record->isChecked() || form.ShraniFajl == nullptr)
        fail("the recording did not start");
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    settle(form);
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    click(form.control("cbBeriDebug"));
    QTest::qWait(1500);
    camera.window("diagnostics");
    camera.part("debug-chart", {"btnDebugUnlock", "cbBeriDebug", "ChartDebug", "shBgFFT"});

    // Stopping the recording adds its duration under the file name.
    click(record);
    auto *memo = form.control<QPlainTextEdit>("mmFileName");
    if (record->isChecked() || !memo->toPlainText().contains(QStringLiteral("Record duration")))
        fail("the recording did not stop with its duration");
    camera.part("recording-row", {"cbShranjujMeritveDebug", "mmFileName"});
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    const QStringList arguments = [&] {
        QStringList list;
        for (int i = 0; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("out"), QStringLiteral("Folder for the pictures."), QStringLiteral("DIR")},
                       {QStringLiteral("recordings"), QStringLiteral("Folder for the recording."),
                        QStringLiteral("DIR")},
                       {QStringLiteral("check"), QStringLiteral("Check the pictures given as arguments.")}});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Pictures to check."));
    parser.process(arguments);
    if (parser.isSet(QStringLiteral("check"))) {
        QCoreApplication app(argc, argv);
        return checkPictures(parser.positionalArguments());
    }
    if (!parser.isSet(QStringLiteral("out")) || !parser.isSet(QStringLiteral("recordings")))
        fail("usage: guide_screenshots --out DIR --recordings DIR | --check FILE...");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trevisor"));
    // A run that hangs (a modal dialog of the style, a window manager that never frames the
    // window) ends with a failure instead of holding up the caller.
    QTimer::singleShot(90000, [] { fail("the run took longer than 90 s"); });
    return takePictures(parser.value(QStringLiteral("out")), parser.value(QStringLiteral("recordings")));
}
