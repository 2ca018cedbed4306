// SPDX-License-Identifier: MIT
// Writes the window's icon for the desktop's icon theme:
//   trevisor-icon-render <theme directory> <size>...
// makes <theme directory>/<size>x<size>/apps/trevisor.png for every size.
// Runs at build time, without a display.

#include "icon_render.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 3) {
        std::fputs("usage: trevisor-icon-render <theme directory> <size>...\n", stderr);
        return EXIT_FAILURE;
    }
    const QDir theme(args.at(1));
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        const int side = args.at(i).toInt(&ok);
        if (!ok || side < 1 || side > 1024) {
            std::fprintf(stderr, "trevisor-icon-render: not a size: %s\n", qPrintable(args.at(i)));
            return EXIT_FAILURE;
        }
        const QString folder = theme.filePath(QStringLiteral("%1x%1/apps").arg(side));
        const QString file = QDir(folder).filePath(QStringLiteral("trevisor.png"));
        if (!QDir().mkpath(folder) || !renderAppIcon(side).save(file, "PNG")) {
            std::fprintf(stderr, "trevisor-icon-render: cannot write %s\n", qPrintable(file));
            return EXIT_FAILURE;
        }
    }
    return EXIT_SUCCESS;
}
