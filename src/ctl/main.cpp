#include "ctl/ctlargs.h"
#include "ctl/ctlhistory.h"
#include "ctl/ctlrunner.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <string_view>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSigint(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// Ctrl+C reaches the runner as an ordinary event, between exchanges.
void routeSigint(zor::ctl::Runner &runner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &runner);
    QObject::connect(notifier, &QSocketNotifier::activated, &runner, [&runner] {
        char byte = SIGINT;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        // The shell's convention: 128 + the signal (130 for Ctrl+C).
        runner.interrupt(128 + byte);
    });
    struct sigaction action = {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A dropped ssh session: the high voltage must not outlive it either.
    ::sigaction(SIGHUP, &action, nullptr);
}

} // namespace
#endif

int main(int argc, char *argv[]) {
    // A seasoning run draws its report, which takes fonts, so Qt GUI, on the
    // off-screen platform: zor-ctl runs where no display is.
    bool season = false;
    for (int i = 1; i < argc; ++i)
        season = season || std::string_view(argv[i]) == "season";
    if (season && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        season ? std::make_unique<QGuiApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zor-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZOR_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    if (const auto code = zor::ctl::history(QCoreApplication::arguments(), out, err))
        return *code;
    const zor::ctl::Parsed parsed = zor::ctl::parseArguments(QCoreApplication::arguments());
    if (!parsed.invocation) {
        (parsed.exitCode == zor::ctl::ExitDone ? out : err) << parsed.text;
        return parsed.exitCode;
    }
    zor::ctl::Runner runner(zor::PortFactory::real(), out, err);
#ifdef Q_OS_UNIX
    routeSigint(runner);
#endif
    // The run is a coroutine over the event loop; it may end before the loop starts.
    int code = zor::ctl::ExitDone;
    bool finished = false;
    runner.run(*parsed.invocation).then([&code, &finished](int result) {
        code = result;
        finished = true;
        QCoreApplication::exit(result);
    });
    if (!finished)
        app->exec();
    return code;
}
