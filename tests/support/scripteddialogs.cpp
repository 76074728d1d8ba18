#include "scripteddialogs.h"

#include <QTest>
#include <optional>

namespace zor::test {

namespace {
void fail(const QString &why) {
    QTest::qFail(qPrintable(why), __FILE__, __LINE__);
}
// The next scripted answer, or a failure when the script has none.
template <typename T> std::optional<T> take(std::deque<T> &script, const QString &box) {
    if (script.empty()) {
        fail(QStringLiteral("unexpected ") + box);
        return std::nullopt;
    }
    T answer = script.front();
    script.pop_front();
    return answer;
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
    if (!inputs.empty() || !confirms.empty() || !picks.empty())
        fail(QStringLiteral("scripted answers never asked for: %1 input(s), %2 confirmation(s), "
                            "%3 question(s)")
                 .arg(inputs.size())
                 .arg(confirms.size())
                 .arg(picks.size()));
}

void ScriptedDialogs::add(const QString &kind, const QString &text, const QString &title,
                          const QString &informative) {
    shown.list_.append({kind, text, title, informative});
    if (readingMs > 0)
        QTest::qWait(readingMs); // the event loop turns meanwhile, as under a real box
}

QStringList ScriptedDialogs::texts(const QString &kind) const {
    QStringList out;
    for (const Shown &s : shown)
        if (s.kind == kind)
            out.append(s.text);
    return out;
}

bool ScriptedDialogs::confirm(const QString &text, const QString &title) {
    add(QStringLiteral("confirm"), text, title);
    return take(confirms, QStringLiteral("confirmation: ") + text).value_or(false);
}

int ScriptedDialogs::ask(const QString &text, const QStringList &buttons, const QString &title) {
    add(QStringLiteral("ask"), text, title);
    return take(picks, QStringLiteral("question: ") + text).value_or(int(buttons.size()) - 1);
}

QString ScriptedDialogs::input(const QString &prompt, const QString &title, const QString &) {
    add(QStringLiteral("input"), prompt, title);
    return take(inputs, QStringLiteral("input box: ") + prompt).value_or(QString());
}

std::optional<QString> ScriptedDialogs::inputOrCancel(const QString &prompt, const QString &title) {
    add(QStringLiteral("input"), prompt, title);
    const auto answer = take(inputs, QStringLiteral("input box: ") + prompt);
    return answer && !answer->isNull() ? answer : std::nullopt;
}

QString ScriptedDialogs::saveFile(const QString &title, const QString &, const QString &) {
    add(QStringLiteral("save"), title, title);
    return take(inputs, QStringLiteral("save-file box: ") + title).value_or(QString());
}

void ScriptedDialogs::runModal(QDialog &dialog) {
    add(QStringLiteral("modal"), dialog.windowTitle(), {});
    if (onModal)
        return onModal(dialog);
    fail(QStringLiteral("unexpected modal window: ") + dialog.windowTitle());
    dialog.reject();
}

} // namespace zor::test
