#include "sim/stdinreader.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace zor::sim {

namespace {

// A line longer than this is no command; drop it rather than keep growing.
constexpr qsizetype MaxLine = 4096;

} // namespace

void printLine(const QString &text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

StdinReader::StdinReader(Simulator &sim, QObject *parent) : QObject(parent), commands_(sim) {}

bool StdinReader::start() {
    if (::fcntl(STDIN_FILENO, F_GETFD) < 0)
        return false;
    interactive_ = ::isatty(STDIN_FILENO) == 1;
    notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StdinReader::onReadable);
    prompt();
    return true;
}

void StdinReader::prompt() {
    if (interactive_) {
        std::fputs("zor-sim> ", stdout);
        std::fflush(stdout);
    }
}

void StdinReader::onReadable() {
    char buf[1024];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        notifier_->setEnabled(false);
        return;
    }
    pending_.append(buf, n);
    qsizetype eol;
    while ((eol = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(pending_.left(eol));
        pending_.remove(0, eol + 1);
        const auto result = commands_.run(line);
        if (!result.text.isEmpty())
            printLine(result.ok ? result.text : QStringLiteral("error: ") + result.text);
        if (result.quit) {
            emit quitRequested();
            return;
        }
        prompt();
    }
    if (pending_.size() > MaxLine)
        pending_.clear();
}

} // namespace zor::sim
