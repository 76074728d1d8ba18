#pragma once

#include "platform/dialogs.h"

#include <QDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <deque>
#include <functional>

namespace zor::test {

// Answers every box from a script and remembers what was shown; installs itself
// for its lifetime. Strict: the test fails when a box opens that has no scripted
// answer, when a message is never looked at (through messages() or shown), or
// when a scripted answer is left over at the end.
class ScriptedDialogs final : public Dialogs {
public:
    // Remembered settings go to a test location and start empty in each test.
    ScriptedDialogs() {
        installDialogs(this);
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }
    ~ScriptedDialogs() override;

    struct Shown {
        QString kind; // "message", "confirm", "ask", "input", "save" or "modal"
        QString text;
        QString title;
        QString informative;
    };
    // The boxes so far; reading them counts as checking every message among them.
    class Boxes {
    public:
        qsizetype size() const { return seen().size(); }
        bool isEmpty() const { return seen().isEmpty(); }
        const Shown &operator[](qsizetype i) const { return seen()[i]; }
        const Shown &last() const { return seen().last(); }
        auto begin() const { return seen().begin(); }
        auto end() const { return seen().end(); }
        void clear() { list_.clear(), checked_ = 0; } // forgets them, checked or not

    private:
        friend class ScriptedDialogs;
        const QList<Shown> &seen() const { return checked_ = list_.size(), list_; }
        QList<Shown> list_;
        mutable qsizetype checked_ = 0;
    };
    Boxes shown;
    std::deque<QString> inputs; // "" answers Cancel
    std::deque<bool> confirms;
    std::deque<int> picks; // the index of the button an ask() box answers with
    // Drives every modal window of the console; a fixture may set it for all its tests.
    std::function<void(QDialog &)> onModal;
    // Each box keeps the event loop turning this long before it answers, as a
    // person reading it would.
    int readingMs = 0;

    // Texts of the boxes of one kind.
    QStringList texts(const QString &kind) const;
    QStringList messages() const { return texts(QStringLiteral("message")); }

    void message(const QString &text, const QString &title, Icon) override {
        add(QStringLiteral("message"), text, title);
    }
    void detailedMessage(const QString &text, const QString &informative, const QString &title,
                         Icon) override {
        add(QStringLiteral("message"), text, title, informative);
    }
    bool confirm(const QString &text, const QString &title) override;
    int ask(const QString &text, const QStringList &buttons, const QString &title) override;
    QString input(const QString &prompt, const QString &title, const QString &) override;
    // Answered from `inputs`; a null QString() answers Cancel, "" an empty text.
    std::optional<QString> inputOrCancel(const QString &prompt, const QString &title) override;
    // Answered from `inputs`, like an input box.
    QString saveFile(const QString &title, const QString &, const QString &) override;
    // An editable list answers from `inputs` like an input box.
    QString choice(const QString &prompt, const QStringList &, const QString &,
                   const QString &title) override {
        return input(prompt, title, {});
    }
    void runModal(QDialog &dialog) override;

private:
    void add(const QString &kind, const QString &text, const QString &title,
             const QString &informative = {});
};

} // namespace zor::test
