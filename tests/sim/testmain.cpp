#include "testregistry.h"

#include <QCoreApplication>
#include <QTest>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString only;
    if (args.size() > 1 && zor::simtest::suites().count(args.at(1))) {
        only = args.takeAt(1);
    }
    int failures = 0;
    for (const auto &[name, make] : zor::simtest::suites()) {
        if (!only.isEmpty() && name != only)
            continue;
        const auto suite = make();
        failures += QTest::qExec(suite.get(), args);
    }
    return failures == 0 ? 0 : 1;
}
