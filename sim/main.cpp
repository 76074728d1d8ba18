#include "sim/operatorcommands.h"
#include "sim/options.h"
#include "sim/ptylink.h"
#include "sim/simulator.h"
#include "sim/stdinreader.h"
#include "sim/tcplink.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

int fail(const QString &text) {
    std::fprintf(stderr, "zor-sim: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zor-sim"));
    using namespace zor::sim;

    QString error;
    const auto options = parseOptions(QCoreApplication::arguments(), &error);
    if (!options)
        return fail(error);
    if (options->helpRequested) {
        printLine(options->helpText + QStringLiteral("\nOperator commands:\n") +
                  OperatorCommands::help());
        return 0;
    }
    if (options->versionRequested) {
        printLine(QStringLiteral("zor-sim %1").arg(QStringLiteral(ZOR_VERSION)));
        return 0;
    }

    Simulator sim(options->model);
    sim.shaper().settings() = options->unit;
    if (!options->logPath.isEmpty() && !sim.log().open(options->logPath, &error))
        return fail(QStringLiteral("cannot open %1: %2").arg(options->logPath, error));
    OperatorCommands commands(sim);
    for (const QString &line : options->startupCommands) {
        const auto result = commands.run(line);
        if (!result.ok)
            return fail(result.text);
    }

    // Quit through the event loop on SIGINT/SIGTERM so the LINK symlink is removed.
    std::signal(SIGPIPE, SIG_IGN);
    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    std::unique_ptr<PtyLink> pty;
    if (options->ptyLink) {
        pty = std::make_unique<PtyLink>(sim);
        if (!pty->open(*options->ptyLink, &error))
            return fail(error);
        printLine(pty->slavePath());
    }
    std::unique_ptr<TcpLink> tcp;
    if (options->tcpPort) {
        tcp = std::make_unique<TcpLink>(sim, options->statusPeriodMs);
        if (!tcp->listen(*options->tcpPort, &error))
            return fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                            .arg(*options->tcpPort)
                            .arg(error));
        printLine(QStringLiteral("tcp 127.0.0.1:%1").arg(tcp->port()));
    }
    if (!pty && !tcp)
        std::fprintf(stderr, "zor-sim: no link given (--pty LINK, --tcp PORT)\n");

    StdinReader prompt(sim);
    QObject::connect(&prompt, &StdinReader::quitRequested, &app, &QCoreApplication::quit);
    prompt.start();
    return QCoreApplication::exec();
}
