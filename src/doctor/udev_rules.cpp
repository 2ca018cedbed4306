// SPDX-License-Identifier: MIT
#include "udev_rules.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <fnmatch.h>

namespace doctor {

QList<UdevRule> parseUdevRules(const QString &text, const QString &fileName)
{
    static const QRegularExpression tokenPattern(
        QStringLiteral("([A-Za-z_]+)(?:\\{([^}]*)\\})?\\s*(==|!=|\\+=|-=|:=|=)\\s*\"((?:[^\"\\\\]|\\\\.)*)\""));
    QList<UdevRule> rules;
    const QStringList lines = text.split(u'\n');
    QString pending;
    int pendingLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (pending.isEmpty() && (trimmed.isEmpty() || trimmed.startsWith(u'#')))
            continue;
        if (pending.isEmpty())
            pendingLine = i + 1;
        if (trimmed.endsWith(u'\\')) {
            pending += trimmed.chopped(1) + u' ';
            continue;
        }
        pending += trimmed;
        UdevRule rule{fileName, pendingLine, {}};
        QRegularExpressionMatchIterator tokens = tokenPattern.globalMatch(pending);
        while (tokens.hasNext()) {
            const QRegularExpressionMatch match = tokens.next();
            rule.tokens.append({match.captured(1), match.captured(2), match.captured(3), match.captured(4)});
        }
        if (!rule.tokens.isEmpty())
            rules.append(rule);
        pending.clear();
    }
    return rules;
}

QHash<QString, QString> udevProperties(const QString &text)
{
    QHash<QString, QString> properties;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (QString line : lines) {
        if (line.startsWith(QStringLiteral("E:")))
            line.remove(0, 2);
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            properties.insert(line.left(equals), line.mid(equals + 1).trimmed());
    }
    return properties;
}

bool udevPatternMatches(const QString &pattern, const QString &value)
{
    const QByteArray subject = value.toUtf8();
    const QStringList alternatives = pattern.split(u'|');
    for (const QString &alternative : alternatives) {
        if (::fnmatch(alternative.toUtf8().constData(), subject.constData(), 0) == 0)
            return true;
    }
    return false;
}

namespace {

enum class IdentityKey { None, Kernel, Vendor, Product, ProductEnv };

IdentityKey identityKeyOf(const UdevToken &token)
{
    const QString &key = token.key;
    const QString &attribute = token.attribute;
    if (key == QLatin1String("KERNEL"))
        return IdentityKey::Kernel;
    const bool attr = key == QLatin1String("ATTRS") || key == QLatin1String("ATTR")
                      || key == QLatin1String("SYSFS");
    if ((attr && attribute == QLatin1String("idVendor"))
        || (key == QLatin1String("ENV") && attribute == QLatin1String("ID_VENDOR_ID")))
        return IdentityKey::Vendor;
    if ((attr && attribute == QLatin1String("idProduct"))
        || (key == QLatin1String("ENV") && attribute == QLatin1String("ID_MODEL_ID")))
        return IdentityKey::Product;
    if (key == QLatin1String("ENV") && attribute == QLatin1String("PRODUCT"))
        return IdentityKey::ProductEnv;
    return IdentityKey::None;
}

const QString &identityValue(IdentityKey key, const DeviceIdentity &device)
{
    switch (key) {
    case IdentityKey::Kernel:
        return device.kernel;
    case IdentityKey::Vendor:
        return device.vendorId;
    case IdentityKey::Product:
        return device.productId;
    case IdentityKey::ProductEnv:
    case IdentityKey::None:
        break;
    }
    return device.product;
}

} // namespace

bool ruleMatchesIdentity(const UdevRule &rule, const DeviceIdentity &device, bool kernelCounts)
{
    bool named = false;
    for (const UdevToken &token : rule.tokens) {
        const bool equal = token.op == QLatin1String("==");
        if (!equal && token.op != QLatin1String("!="))
            continue;
        const IdentityKey key = identityKeyOf(token);
        if (key == IdentityKey::None)
            continue;
        const QString &value = identityValue(key, device);
        if (value.isEmpty() || udevPatternMatches(token.value, value) != equal)
            return false;
        if (equal && (key != IdentityKey::Kernel || kernelCounts))
            named = true;
    }
    return named;
}

std::optional<QString> ruleAssignment(const UdevRule &rule, const QString &key, const QString &attribute)
{
    std::optional<QString> value;
    for (const UdevToken &token : rule.tokens) {
        if (token.key == key && token.attribute == attribute
            && (token.op == QLatin1String("=") || token.op == QLatin1String(":=")))
            value = token.value;
    }
    return value;
}

QString ruleLocation(const UdevRule &rule)
{
    return QStringLiteral("%1:%2").arg(rule.file).arg(rule.line);
}

QList<UdevRule> readUdevRules(const QStringList &folders, const std::function<bool(const QString &)> &wanted)
{
    QList<UdevRule> rules;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        const QFileInfoList files =
            QDir(folder).entryInfoList({QStringLiteral("*.rules")}, QDir::Files | QDir::System, QDir::Name);
        for (const QFileInfo &file : files) {
            const QString name = file.fileName();
            if (seen.contains(name))
                continue;
            seen.insert(name);
            if (!wanted(name) || file.canonicalFilePath() == QLatin1String("/dev/null"))
                continue;
            rules.append(parseUdevRules(readTextFile(file.filePath()), name));
        }
    }
    return rules;
}

} // namespace doctor
