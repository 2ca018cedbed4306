// SPDX-License-Identifier: MIT
// trevisor-cli-manual: writes the manual page trevisor-cli(1) to the file named, at build time.

#include "manual_page.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: trevisor-cli-manual FILE\n");
        return 2;
    }
    QFile file(arguments.at(1));
    const QByteArray page = cli::manualPage().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page) != page.size() || !file.flush()) {
        std::fprintf(stderr, "trevisor-cli-manual: cannot write %s: %s\n", qPrintable(arguments.at(1)),
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
