#include "scripteddialogs.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

namespace zor::test {

namespace {
void fail(const QString &why) {
    QTest::qFail(qPrintable(why), __FILE__, __LINE__);
}
} // namespace

ScriptedDialogs::~ScriptedDialogs() {
    installDialogs(nullptr);
    // After an earlier failure the script was cut short; its leftovers say nothing.
    if (!QTest::currentTestFunction() || QTest::currentTestFailed())
        return;
    QStringList unchecked;
    for (qsizetype i = shown.checked_; i < shown.list_.size(); ++i)
        if (shown.list_[i].kind == QLatin1String("message"))
            unchecked << shown.list_[i].text;
    if (!unchecked.isEmpty())
        fail(QStringLiteral("messages never checked: ") + unchecked.join(QLatin1String(" | ")));
    if (!inputs.empty() || !confirms.empty())
        fail(QStringLiteral("scripted answers never asked for: %1 input(s), %2 confirmation(s)")
                 .arg(inputs.size())
                 .arg(confirms.size()));
}

void ScriptedDialogs::add(const QString &kind, const QString &text, const QString &title,
                          const QString &informative) {
    shown.list_.append({kind, text, title, informative});
    if (readingMs > 0) {
        QEventLoop loop;
        QTimer::singleShot(readingMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QStringList ScriptedDialogs::messages() const {
    QStringList out;
    for (const Shown &s : shown)
        if (s.kind == QLatin1String("message"))
            out.append(s.text);
    return out;
}

bool ScriptedDialogs::confirm(const QString &text, const QString &title) {
    add(QStringLiteral("confirm"), text, title);
    if (confirms.empty()) {
        fail(QStringLiteral("unexpected confirmation: ") + text);
        return false;
    }
    const bool answer = confirms.front();
    confirms.pop_front();
    return answer;
}

QString ScriptedDialogs::input(const QString &prompt, const QString &title, const QString &) {
    add(QStringLiteral("input"), prompt, title);
    if (inputs.empty()) {
        fail(QStringLiteral("unexpected input box: ") + prompt);
        return {};
    }
    const QString answer = inputs.front();
    inputs.pop_front();
    return answer;
}

void ScriptedDialogs::runModal(QDialog &dialog) {
    add(QStringLiteral("modal"), dialog.windowTitle(), {});
    if (!onModal) {
        fail(QStringLiteral("unexpected modal window: ") + dialog.windowTitle());
        dialog.reject();
        return;
    }
    onModal(dialog);
}

} // namespace zor::test
