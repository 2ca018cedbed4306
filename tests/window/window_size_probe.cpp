// SPDX-License-Identifier: MIT
// Shows the window on the X display of $DISPLAY, takes it through its three sizes (at start,
// Ctrl+A, Ctrl+Shift+A) and prints what the X server reports for each: the size of the
// window's own client area, its outer size and the place of its outer top-left corner, the
// frame that the window manager declares (_NET_FRAME_EXTENTS) included, and the size of the
// screen, all in the server's pixels; last whether the window scrolls (1) or shows its part of
// the layout whole (0). One line each:
//
//   <size> <client w> <client h> <outer w> <outer h> <outer x> <outer y> <screen w> <screen h> <scrolls>
//
// With --managed it first waits for the window manager, and then until it has framed the window;
// with --xft-dpi N it sets the X resource Xft.dpi to N first. Exit code 0 when every size could
// be measured.

#include "main_form.h"
#include "wait_for.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// No serial port is touched: the search finds an empty list.
class ProbeForm : public TMainForm {
public:
    QList<serial::PortEntry> listPorts() const override { return {}; }
};

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

// The server's view of a window, through a connection of our own rather than the toolkit's.
class ServerView {
public:
    ServerView() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~ServerView() { xcb_disconnect(m_connection); }
    ServerView(const ServerView &) = delete;
    ServerView &operator=(const ServerView &) = delete;

    bool connected() const { return xcb_connection_has_error(m_connection) == 0; }

    // Sets the X resources that programs read as they start (as xrdb does), such as Xft.dpi.
    void setResources(const QByteArray &resources) const
    {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, root(), XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING,
                            8, static_cast<quint32>(resources.size()), resources.constData());
        // A round trip: the server has the property before anyone asks for it.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    // Where the window's top-left corner is on the screen.
    QPoint position(xcb_window_t window) const
    {
        XReply<xcb_translate_coordinates_reply_t> translated(
            xcb_translate_coordinates_reply(m_connection,
                                            xcb_translate_coordinates(m_connection, window, root(), 0, 0), nullptr),
            &std::free);
        return translated ? QPoint(translated->dst_x, translated->dst_y) : QPoint();
    }

    QSize screenSize() const
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        return {screen->width_in_pixels, screen->height_in_pixels};
    }

    QSize size(xcb_window_t window) const
    {
        XReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr), &std::free);
        if (!geometry)
            return {};
        return {geometry->width + 2 * geometry->border_width, geometry->height + 2 * geometry->border_width};
    }

    // Whether a window manager runs: it names its check window on the root window.
    bool windowManagerRunning() const
    {
        return !cardinals(root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty();
    }

    // The frame the window manager put around `window` (left, right, top, bottom), as it
    // declares it; nothing before one did. Borders that a manager keeps invisible around its
    // frame (for resizing and shadows) are not part of it.
    std::vector<quint32> frameExtents(xcb_window_t window) const
    {
        return cardinals(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
    }

private:
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root; }

    std::vector<quint32> cardinals(xcb_window_t window, const char *name, xcb_atom_t type) const
    {
        XReply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(m_connection,
                                  xcb_intern_atom(m_connection, 1, static_cast<uint16_t>(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        if (!atom || atom->atom == XCB_ATOM_NONE)
            return {};
        XReply<xcb_get_property_reply_t> property(
            xcb_get_property_reply(m_connection, xcb_get_property(m_connection, 0, window, atom->atom, type, 0, 16),
                                   nullptr),
            &std::free);
        if (!property || property->format != 32)
            return {};
        const auto *values = static_cast<const quint32 *>(xcb_get_property_value(property.get()));
        return {values, values + xcb_get_property_value_length(property.get()) / 4};
    }

    xcb_connection_t *m_connection;
};

} // namespace

int main(int argc, char **argv)
{
    ServerView server;
    if (!server.connected()) {
        std::fprintf(stderr, "window_size_probe: no X display\n");
        return 2;
    }
    // --xft-dpi N: the desktop's font resolution, which Qt takes for the screen's scale.
    for (int index = 1; index + 1 < argc; ++index)
        if (std::strcmp(argv[index], "--xft-dpi") == 0)
            server.setResources(QByteArray("Xft.dpi:\t") + argv[index + 1] + '\n');
    QApplication app(argc, argv);
    const bool managed = app.arguments().contains(QStringLiteral("--managed"));

    if (managed && !waitFor([&] { return server.windowManagerRunning(); }, 30000)) {
        std::fprintf(stderr, "window_size_probe: no window manager came up\n");
        return 1;
    }

    ProbeForm form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 30000)) {
        std::fprintf(stderr, "window_size_probe: the window was never exposed\n");
        return 1;
    }
    const auto window = static_cast<xcb_window_t>(form.winId());
    if (managed && !waitFor([&] { return server.frameExtents(window).size() == 4; }, 30000)) {
        std::fprintf(stderr, "window_size_probe: no window manager framed the window\n");
        return 1;
    }

    const auto *scrollArea = form.findChild<QScrollArea *>();
    if (scrollArea == nullptr) {
        std::fprintf(stderr, "window_size_probe: the window has no scroll area\n");
        return 1;
    }
    const auto report = [&](const char *name) {
        // The server has the size once the window manager carried out the request; the frame
        // follows with it. Then a moment for a window manager that adjusts in several steps.
        // Under a scale factor the server counts the window's device pixels, which a window
        // manager may round the other way at a fractional scale.
        const QSize wanted = form.size() * form.devicePixelRatioF();
        const int slack = form.devicePixelRatioF() == std::floor(form.devicePixelRatioF()) ? 0 : 1;
        const bool settled = waitFor(
            [&] {
                const QSize size = server.size(window);
                return std::abs(size.width() - wanted.width()) <= slack
                       && std::abs(size.height() - wanted.height()) <= slack;
            },
            5000);
        QTest::qWait(300);
        const QSize client = server.size(window);
        QSize outer = client;
        QPoint corner = server.position(window);
        if (const std::vector<quint32> frame = server.frameExtents(window); frame.size() == 4) {
            outer += QSize(static_cast<int>(frame[0] + frame[1]), static_cast<int>(frame[2] + frame[3]));
            corner -= QPoint(static_cast<int>(frame[0]), static_cast<int>(frame[2]));
        }
        const QSize screen = server.screenSize();
        const bool scrolls =
            scrollArea->horizontalScrollBar()->isVisible() || scrollArea->verticalScrollBar()->isVisible();
        std::printf("%s %d %d %d %d %d %d %d %d %d\n", name, client.width(), client.height(), outer.width(),
                    outer.height(), corner.x(), corner.y(), screen.width(), screen.height(), scrolls ? 1 : 0);
        std::fflush(stdout);
        if (!settled)
            std::fprintf(stderr, "window_size_probe: %s: the server kept %dx%d for a window of %dx%d\n", name,
                         client.width(), client.height(), wanted.width(), wanted.height());
    };
    report("first");
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    report("recording");
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    report("whole");
    return 0;
}
