#pragma once

#include <QTest>

namespace zor::test {

// The columns of a data-driven test in one line: columns<int, QString>("count", "shown").
template <typename... T, typename... Name> void columns(const Name &...names) {
    static_assert(sizeof...(T) == sizeof...(Name));
    (QTest::addColumn<T>(names), ...);
}

// The current row's columns in one line:
// const auto [count, shown] = fetch<int, QString>("count", "shown");
template <typename... T, typename... Name> std::tuple<T...> fetch(const Name &...names) {
    return {*static_cast<T *>(QTest::qData(names, qMetaTypeId<T>()))...};
}

// One table row on one line.
template <typename... A> void row(const char *name, const A &...values) {
    (QTest::newRow(name) << ... << values);
}

// STX then the text: "\x02" cannot be followed by a hex digit in one literal.
inline QByteArray stx(const char *text) {
    return '\x02' + QByteArray(text);
}

} // namespace zor::test
