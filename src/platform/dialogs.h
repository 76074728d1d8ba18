#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

namespace zor {

// Every modal box of the console goes through here, so tests can answer them
// from a script instead of a person.
class Dialogs {
public:
    enum class Icon { None, Information, Warning, Critical };

    virtual ~Dialogs() = default;

    // OK button only. An empty title means the application's title.
    virtual void message(const QString &text, const QString &title = {},
                         Icon icon = Icon::None) = 0;
    // OK button only; the informative text (the reason behind a failure) goes
    // under the main text, which stays as the console words it.
    virtual void detailedMessage(const QString &text, const QString &informative,
                                 const QString &title = {}, Icon icon = Icon::None) {
        message(informative.isEmpty() ? text : text + QStringLiteral("\n\n") + informative, title,
                icon);
    }
    // OK and Cancel; true on OK.
    virtual bool confirm(const QString &text, const QString &title = {}) = 0;
    // One button per answer, the last one the cancel (Esc, the close box); the
    // index of the answer chosen. Boxes that cannot ask answer with the cancel.
    virtual int ask(const QString &text, const QStringList &buttons, const QString &title = {}) {
        Q_UNUSED(text);
        Q_UNUSED(title);
        return int(buttons.size()) - 1;
    }
    // Cancel yields an empty text.
    virtual QString input(const QString &prompt, const QString &title = {},
                          const QString &defaultText = {}) = 0;
    // An input box that tells Cancel (nothing) from an empty text.
    virtual std::optional<QString> inputOrCancel(const QString &prompt, const QString &title = {}) {
        return input(prompt, title);
    }
    // A file to write, chosen by the operator; empty on Cancel. The suggested
    // name is offered first and the filter's extension added when none is
    // typed. Boxes that cannot browse ask for the path as text.
    virtual QString saveFile(const QString &title, const QString &filter,
                             const QString &suggested = {}) {
        Q_UNUSED(filter);
        return input(QStringLiteral("File name:"), title, suggested);
    }
    // A file to read, chosen by the operator; empty on Cancel. The suggested
    // file (or folder) is offered first.
    virtual QString openFile(const QString &title, const QString &filter,
                             const QString &suggested = {}) {
        Q_UNUSED(filter);
        return input(QStringLiteral("File name:"), title, suggested);
    }
    // An editable list: one of the items or any typed text; Cancel yields an
    // empty text. The default text is offered first. Boxes without a list
    // answer it as an input box.
    virtual QString choice(const QString &prompt, const QStringList &items,
                           const QString &defaultText = {}, const QString &title = {}) {
        Q_UNUSED(items);
        return input(prompt, title, defaultText);
    }
    // Shows one of the console's own dialog windows modally until it closes.
    virtual void runModal(QDialog &dialog) = 0;
};

// The boxes currently in force; widget boxes unless a test installed its own.
Dialogs &dialogs();
// Installs a replacement (not owned); nullptr restores the widget boxes.
void installDialogs(Dialogs *replacement);
// The window every widget box belongs to (the main window): a box parented
// to a window that closes meanwhile (a run's) would be deleted inside its own
// loop. Without one, the active window.
void setBoxParent(QWidget *parent);

} // namespace zor
