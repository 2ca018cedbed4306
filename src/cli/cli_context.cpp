// SPDX-License-Identifier: MIT
#include "cli_context.h"

#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

// Standard output written straight to its descriptor, so that every failed write (a full
// disk, a closed descriptor) shows in the stream's status with the system's reason.
class DescriptorWriter final : public QIODevice {
public:
    explicit DescriptorWriter(int fd) : fd_(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t written = ::write(fd_, data + done, static_cast<size_t>(size - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                setErrorString(qt_error_string(written < 0 ? errno : EIO));
                return -1;
            }
            done += written;
        }
        return done;
    }

private:
    int fd_;
};

} // namespace

Context standardContext(std::function<bool()> stopRequested)
{
    static DescriptorWriter stdoutWriter(STDOUT_FILENO);
    static QTextStream out(&stdoutWriter);
    static QTextStream err(stderr);
    Context context;
    context.out = &out;
    context.err = &err;
    context.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    context.stopRequested = std::move(stopRequested);
    return context;
}

} // namespace cli
