#include "app/commandline.h"
#include "app/startup.h"
#include "link/rememberedlink.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[]) {
    QCoreApplication::setOrganizationName(QStringLiteral("ZOR"));
    QCoreApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZOR_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Read before any window (or display connection) exists.
    const auto parsed = zor::parseCommandLine(arguments);
    if (const auto *error = std::get_if<zor::CommandLineError>(&parsed)) {
        std::fprintf(stderr, "zor-console: %s\n\n%s", qPrintable(error->message),
                     qPrintable(zor::commandLineUsage()));
        return 2;
    }
    const auto &line = std::get<zor::CommandLine>(parsed);
    if (line.action == zor::CommandLine::Action::Help) {
        std::fputs(qPrintable(zor::commandLineUsage()), stdout);
        return 0;
    }
    if (line.action == zor::CommandLine::Action::Version) {
        std::printf("zor-console %s\n", ZOR_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    zor::MainWindow window;
    // Goes on in the event loop.
    zor::startConsole(window, zor::withLastLink(line, zor::RememberedLink::load()));
    return QApplication::exec();
}
