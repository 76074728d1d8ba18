#pragma once

#include "platform/dialogs.h"

#include <QDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <deque>
#include <functional>

namespace zor::test {

// Answers every box from a script and remembers what was shown. Installs itself
// for its lifetime.
class ScriptedDialogs final : public Dialogs {
public:
    // Remembered settings go to a test location and start empty in each test.
    ScriptedDialogs() {
        installDialogs(this);
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }
    ~ScriptedDialogs() override { installDialogs(nullptr); }

    struct Shown {
        QString kind;
        QString text;
        QString title;
        QString informative;
    };
    QList<Shown> shown;
    std::deque<QString> inputs; // Cancel when empty
    std::deque<bool> confirms;  // OK when empty
    // Drives a modal window of the console; accepts it when not set.
    std::function<void(QDialog &)> onModal;

    QStringList messages() const;

    void message(const QString &text, const QString &title, Icon) override {
        shown.append({QStringLiteral("message"), text, title, {}});
    }
    void detailedMessage(const QString &text, const QString &informative, const QString &title,
                         Icon) override {
        shown.append({QStringLiteral("message"), text, title, informative});
    }
    bool confirm(const QString &text, const QString &title) override {
        shown.append({QStringLiteral("confirm"), text, title, {}});
        if (confirms.empty())
            return true;
        const bool answer = confirms.front();
        confirms.pop_front();
        return answer;
    }
    QString input(const QString &prompt, const QString &title, const QString &) override {
        shown.append({QStringLiteral("input"), prompt, title, {}});
        if (inputs.empty())
            return {};
        QString answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    // An editable list answers from `inputs` like an input box.
    QString choice(const QString &prompt, const QStringList &, const QString &,
                   const QString &title) override {
        return input(prompt, title, {});
    }
    void runModal(QDialog &dialog) override {
        shown.append({QStringLiteral("modal"), dialog.windowTitle(), {}, {}});
        if (onModal)
            onModal(dialog);
        else
            dialog.accept();
    }
};

} // namespace zor::test
