#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

// One test binary, one ctest entry per suite: "test_sim model" runs only that suite.
namespace zor::simtest {

using SuiteFactory = std::function<std::unique_ptr<QObject>()>;

inline std::map<QString, SuiteFactory> &suites() {
    static std::map<QString, SuiteFactory> all;
    return all;
}

struct RegisterSuite {
    RegisterSuite(const char *name, SuiteFactory factory) {
        suites().emplace(QString::fromLatin1(name), std::move(factory));
    }
};

} // namespace zor::simtest

#define ZOR_SIM_SUITE(Class, name)                                                                 \
    static const zor::simtest::RegisterSuite registerSuite##Class(                                 \
        name, [] { return std::unique_ptr<QObject>(new Class); });
