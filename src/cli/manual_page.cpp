// SPDX-License-Identifier: MIT
#include "manual_page.h"

#include "cli_app.h"
#include "command.h"
#include "failure.h"

#include <QStringList>

namespace cli {

namespace {

// Text as roff shows it: backslashes escaped, hyphens as minus signs (options stay
// copy-and-paste safe), and no line that begins with a control character.
QString roff(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\e")).replace(u'-', QStringLiteral("\\-"));
    QStringList lines = escaped.split(u'\n');
    for (QString &line : lines) {
        if (line.startsWith(u'.') || line.startsWith(u'\''))
            line.prepend(QStringLiteral("\\&"));
    }
    return lines.join(u'\n');
}

QString optionItem(const CommandOption &option)
{
    QStringList names;
    for (const QString &name : option.names)
        names.append((name.size() == 1 ? QStringLiteral("\\fB\\-") : QStringLiteral("\\fB\\-\\-")) + roff(name)
                     + QStringLiteral("\\fR"));
    QString item = QStringLiteral(".TP\n") + names.join(QStringLiteral(", "));
    if (!option.valueName.isEmpty())
        item += QStringLiteral(" \\fI") + roff(option.valueName) + QStringLiteral("\\fR");
    return item + u'\n' + roff(option.description) + u'\n';
}

// A paragraph whose indented lines (a list) keep their own lines.
QString paragraph(const QString &text)
{
    QString out;
    for (const QString &line : text.split(u'\n')) {
        if (line.startsWith(QLatin1String("  ")))
            out += QStringLiteral(".br\n\\ \\ ") + roff(line.trimmed()) + u'\n';
        else
            out += roff(line) + u'\n';
    }
    return out;
}

QString examples(const QString &lines)
{
    return QStringLiteral(".PP\n.nf\n.RS 4\n") + roff(lines) + QStringLiteral("\n.RE\n.fi\n");
}

} // namespace

QString manualPage()
{
    QString page = QStringLiteral(".TH TREVISOR\\-CLI 1 \"\" \"trevisor\\-cli %1\" \"User Commands\"\n")
                       .arg(roff(QStringLiteral(TREVISOR_VERSION_TEXT)));
    page += QStringLiteral(".SH NAME\ntrevisor\\-cli \\- identify, zero, calibrate and read Quarn\\-2 encoders "
                           "from scripts\n");
    page += QStringLiteral(".SH SYNOPSIS\n.B trevisor\\-cli\n.I command\n[\\fIoptions\\fR]\n.br\n"
                           ".B trevisor\\-cli help\n[\\fIcommand\\fR]\n");
    page += QStringLiteral(
        ".SH DESCRIPTION\n"
        "The command\\-line companion of trevisor, for scripts, production lines and machines without a "
        "display. It finds the encoder as the window does (the ports of QUARN_EXTRA_PORTS first, then the "
        "system's serial ports, USB adapters before built\\-in ports, each at seven rates), or uses "
        "\\fB\\-\\-port\\fR and \\fB\\-\\-baud\\fR, and sends exactly what the window sends for the same "
        "action. Every write ends with a reading that confirms it.\n"
        ".PP\n"
        "Results go to standard output: text, one JSON object per line with \\fB\\-\\-json\\fR, or CSV. "
        "Standard error holds one line per failure, beginning with \"trevisor\\-cli: error: \"; warnings "
        "begin with \"trevisor\\-cli: warning: \", and other lines (the encoder a command acts on, progress "
        "notes) with \"trevisor\\-cli: \". With \\fB\\-\\-json\\fR every failure also writes one object "
        "{\"event\":\"error\",\"kind\":...,\"message\":...,\"port\":...} on standard output; its kind is "
        "one of those under EXIT STATUS.\n");

    page += QStringLiteral(".SH COMMANDS\n");
    for (const Command &command : commands()) {
        page += QStringLiteral(".SS %1\n").arg(roff(QLatin1String(command.name)));
        page += paragraph(QLatin1String(command.summary));
        if (*command.details != '\0')
            page += QStringLiteral(".PP\n") + paragraph(QLatin1String(command.details));
        if (command.success != nullptr)
            page += QStringLiteral(".PP\nExit status 0: ") + roff(QLatin1String(command.success)) + QStringLiteral(".\n");
        for (const CommandOption &option : command.options)
            page += optionItem(option);
        page += examples(QLatin1String(command.examples));
    }
    page += QStringLiteral(".SS help\nThe program's help, or with a command's name that command's.\n");

    page += QStringLiteral(".SH OPTIONS\nEvery command takes these, before or after its name. A short option "
                           "takes its value attached or apart (\\fB\\-b115200\\fR, \\fB\\-b 115200\\fR).\n");
    for (const CommandOption &option : commonOptions())
        page += optionItem(option);
    page += optionItem({{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("The program's version."), {}});

    page += QStringLiteral(".SH \"EXIT STATUS\"\nThe same in every command. Several kinds of failure may "
                           "share a code; the JSON error object names the kind.\n");
    for (const ExitCodeRow &row : exitCodeRows()) {
        page += QStringLiteral(".TP\n.B %1\n%2").arg(row.code).arg(roff(QLatin1String(row.meaning)));
        if (*row.kinds != '\0')
            page += QStringLiteral(" (kind: %1)").arg(roff(QLatin1String(row.kinds)));
        page += QStringLiteral(".\n");
    }

    page += QStringLiteral(".SH ENVIRONMENT\n.TP\n.B QUARN_EXTRA_PORTS\nColon\\-separated paths of ports "
                           "that the search tries first (a simulator's pseudo\\-terminal, a port the system "
                           "does not list); a relative path is taken from the working directory.\n");
    page += QStringLiteral(".SH EXAMPLES\n");
    page += examples(QStringLiteral(
        "trevisor-cli identify --json\n"
        "trevisor-cli zero --serial 42 --json || echo \"zero failed with $?\"\n"
        "trevisor-cli selfcal -p/dev/ttyUSB0 -b115200 --arc 270\n"
        "trevisor-cli doctor"));
    page += QStringLiteral(".PP\nA line's step that acts on the exit code:\n");
    page += examples(QStringLiteral(
        "trevisor-cli zero -p \"$port\" --json >> records.jsonl\n"
        "case $? in\n"
        "  0) ;;\n"
        "  5) echo \"encoder stopped answering or refused the zero: retry\" ;;\n"
        "  6|9) echo \"no encoder on $port: check the cable\" ;;\n"
        "  7|8) echo \"$port is busy or not allowed: trevisor-cli doctor -p $port\" ;;\n"
        "  *) echo \"reject the part\" ;;\n"
        "esac"));
    page += QStringLiteral(".SH \"SEE ALSO\"\n.BR picocom (1),\n.BR udev (7)\n");
    return page;
}

} // namespace cli
