// SPDX-License-Identifier: MIT
#include "port_facts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace doctor {

QString PortFacts::usbId() const
{
    return isUsb() ? identity.vendorId + u':' + identity.productId : QString();
}

QString latencyTimerFile(const SystemPaths &paths, const QString &kernelName)
{
    return paths.sys + QStringLiteral("/bus/usb-serial/devices/") + kernelName + QStringLiteral("/latency_timer");
}

std::optional<int> readLatencyTimer(const SystemPaths &paths, const QString &kernelName)
{
    if (kernelName.isEmpty())
        return std::nullopt;
    bool ok = false;
    const int ms = readTextFile(latencyTimerFile(paths, kernelName)).trimmed().toInt(&ok);
    return ok ? std::optional<int>(ms) : std::nullopt;
}

namespace {

// The USB device above a tty's interface: the first folder upwards with an idVendor file,
// not leaving sysfs.
QString usbDeviceFolder(const SystemPaths &paths, const QString &ttyDevice)
{
    const QString sysRoot = QFileInfo(paths.sys).canonicalFilePath();
    QDir folder(ttyDevice);
    for (int level = 0; level < 6 && folder.absolutePath().startsWith(sysRoot + u'/'); ++level) {
        if (folder.exists(QStringLiteral("idVendor")))
            return folder.absolutePath();
        if (!folder.cdUp())
            break;
    }
    return {};
}

// The driver of the device, or of the first device above it with one. Built-in UARTs sit on
// serial core's own bus ("port", "ctrl") below the device whose driver names the hardware.
QString driverName(const SystemPaths &paths, const QString &deviceFolder)
{
    const QString serialCoreBus = QFileInfo(paths.sys).canonicalFilePath() + QStringLiteral("/bus/serial-base/");
    QDir folder(deviceFolder);
    for (int level = 0; level < 4; ++level) {
        const QString driver = QFileInfo(folder.filePath(QStringLiteral("driver"))).canonicalFilePath();
        if (!driver.isEmpty() && !driver.startsWith(serialCoreBus))
            return QFileInfo(driver).fileName();
        if (!folder.cdUp())
            break;
    }
    return {};
}

} // namespace

namespace {

PortFacts readPortFactsOnly(const SystemPaths &paths, const QString &path);

// A path that exists but is no terminal the kernel knows. A character device counts as one when
// the kernel's list of terminals cannot be read (a container without /sys).
QString notSerialPortText(const SystemPaths &paths, const PortFacts &facts)
{
    if (!facts.node.exists || facts.ptyIndex || facts.inSysfs)
        return {};
    struct stat status{};
    if (::stat(QFile::encodeName(facts.device).constData(), &status) != 0)
        return {};
    if (S_ISCHR(status.st_mode))
        return QFileInfo::exists(paths.sys + QStringLiteral("/class/tty"))
                   ? QStringLiteral("a character device that is not a terminal")
                   : QString();
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("a FIFO");
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("a directory");
    if (S_ISREG(status.st_mode))
        return QStringLiteral("a regular file");
    return QStringLiteral("not a device");
}

} // namespace

PortFacts readPortFacts(const SystemPaths &paths, const QString &path)
{
    PortFacts facts = readPortFactsOnly(paths, path);
    facts.notSerialPort = notSerialPortText(paths, facts);
    return facts;
}

namespace {

PortFacts readPortFactsOnly(const SystemPaths &paths, const QString &path)
{
    PortFacts facts;
    facts.path = path;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    facts.device = canonical.isEmpty() ? path : canonical;
    facts.node = readDeviceNode(facts.device);
    const QString kernelName = QFileInfo(facts.device).fileName();
    facts.identity.kernel = kernelName;

    if (QFileInfo(facts.device).path() == paths.dev + QStringLiteral("/pts")) {
        bool ok = false;
        const int index = kernelName.toInt(&ok);
        if (ok)
            facts.ptyIndex = index;
        return facts;
    }

    const QString classFolder = paths.sys + QStringLiteral("/class/tty/") + kernelName;
    facts.inSysfs = !kernelName.isEmpty() && QFileInfo::exists(classFolder);
    if (!facts.inSysfs)
        return facts;
    facts.deviceNumber = readTextFile(classFolder + QStringLiteral("/dev")).trimmed();
    const QString deviceFolder = QFileInfo(classFolder + QStringLiteral("/device")).canonicalFilePath();
    if (deviceFolder.isEmpty())
        return facts;
    facts.driver = driverName(paths, deviceFolder);

    const QString usb = usbDeviceFolder(paths, deviceFolder);
    if (!usb.isEmpty()) {
        facts.identity.vendorId = readTextFile(usb + QStringLiteral("/idVendor")).trimmed();
        facts.identity.productId = readTextFile(usb + QStringLiteral("/idProduct")).trimmed();
        facts.identity.product =
            udevProperties(readTextFile(usb + QStringLiteral("/uevent"))).value(QStringLiteral("PRODUCT"));
        facts.usbProduct = readTextFile(usb + QStringLiteral("/product")).trimmed();
    }
    facts.latencyTimerMs = readLatencyTimer(paths, kernelName);
    return facts;
}

} // namespace

QString portKindText(const PortFacts &facts)
{
    if (!facts.node.exists)
        return QStringLiteral("missing");
    if (facts.ptyIndex)
        return QStringLiteral("pseudo-terminal");
    if (!facts.notSerialPort.isEmpty())
        return QStringLiteral("not a serial port: ") + facts.notSerialPort;
    if (!facts.inSysfs)
        return QStringLiteral("not a serial port the kernel lists");
    QString text;
    if (facts.isUsb())
        text = QStringLiteral("USB ") + facts.usbId()
               + (facts.usbProduct.isEmpty() ? QString() : u' ' + facts.usbProduct) + QStringLiteral(", ");
    return text + QStringLiteral("driver ") + (facts.driver.isEmpty() ? QStringLiteral("unknown") : facts.driver);
}

} // namespace doctor
