#include "platform/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

namespace zor {

namespace {

QString titleOr(const QString &title) {
    return title.isEmpty() ? QApplication::applicationName() : title;
}

// A box made on the heap and held by a guarded pointer: whatever deletes it
// while it is open, nothing here touches it afterwards.
template <typename Box> struct Held {
    QPointer<Box> box;
    template <typename... A> explicit Held(A &&...args) : box(new Box(args...)) {}
    ~Held() { delete box.data(); }
    Box *operator->() const { return box.data(); }
    explicit operator bool() const { return !box.isNull(); }
};

class WidgetDialogs final : public Dialogs {
public:
    QPointer<QWidget> boxParent;

    void message(const QString &text, const QString &title, Icon icon) override {
        Held<QMessageBox> box(toQt(icon), titleOr(title), text, QMessageBox::Ok, parent());
        show(box.box);
    }

    void detailedMessage(const QString &text, const QString &informative, const QString &title,
                         Icon icon) override {
        Held<QMessageBox> box(toQt(icon), titleOr(title), text, QMessageBox::Ok, parent());
        box->setInformativeText(informative);
        show(box.box);
    }

    bool confirm(const QString &text, const QString &title) override {
        Held<QMessageBox> box(QMessageBox::Question, titleOr(title), text,
                              QMessageBox::Ok | QMessageBox::Cancel, parent());
        return show(box.box) == QMessageBox::Ok;
    }

    int ask(const QString &text, const QStringList &buttons, const QString &title) override {
        Held<QMessageBox> box(QMessageBox::Question, titleOr(title), text, QMessageBox::NoButton,
                              parent());
        QList<QAbstractButton *> made;
        for (qsizetype i = 0; i < buttons.size(); ++i)
            made << box->addButton(buttons[i], i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                       : QMessageBox::AcceptRole);
        if (!made.isEmpty()) {
            box->setDefaultButton(qobject_cast<QPushButton *>(made.last()));
            box->setEscapeButton(made.last());
        }
        show(box.box);
        const qsizetype index = box ? made.indexOf(box->clickedButton()) : -1;
        return index < 0 ? int(buttons.size()) - 1 : int(index);
    }

    QString input(const QString &prompt, const QString &title,
                  const QString &defaultText) override {
        return inputBox(prompt, title, defaultText).value_or(QString());
    }

    std::optional<QString> inputOrCancel(const QString &prompt, const QString &title) override {
        const auto text = inputBox(prompt, title, {});
        return text ? std::optional(text->isNull() ? QStringLiteral("") : *text) : std::nullopt;
    }

    QString saveFile(const QString &title, const QString &filter,
                     const QString &suggested) override {
        // Qt's own box, not the platform's: the X-ray off key must reach the
        // console while it is open.
        Held<QFileDialog> box(parent(), titleOr(title), suggested, filter);
        box->setOption(QFileDialog::DontUseNativeDialog);
        box->setAcceptMode(QFileDialog::AcceptSave);
        static const QRegularExpression extension(QStringLiteral("\\*\\.(\\w+)"));
        if (const auto match = extension.match(filter); match.hasMatch())
            box->setDefaultSuffix(match.captured(1));
        return chosenFile(box.box);
    }

    QString openFile(const QString &title, const QString &filter,
                     const QString &suggested) override {
        Held<QFileDialog> box(parent(), titleOr(title), suggested, filter);
        box->setOption(QFileDialog::DontUseNativeDialog);
        box->setFileMode(QFileDialog::ExistingFile);
        return chosenFile(box.box);
    }

    QString choice(const QString &prompt, const QStringList &items, const QString &defaultText,
                   const QString &title) override {
        QStringList offered = items;
        offered.removeAll(defaultText);
        if (!defaultText.isEmpty())
            offered.prepend(defaultText);
        Held<QInputDialog> box(parent());
        box->setWindowTitle(titleOr(title));
        box->setLabelText(prompt);
        box->setComboBoxItems(offered);
        box->setComboBoxEditable(true);
        if (show(box.box) != QDialog::Accepted || !box)
            return {};
        return box->textValue();
    }

    void runModal(QDialog &dialog) override { show(&dialog); }

private:
    QWidget *parent() const { return boxParent ? boxParent.data() : QApplication::activeWindow(); }

    // One box at a time: a second one asked for while the first is open (from
    // a timer served by the first one's loop) waits until the first is answered.
    int show(QDialog *dialog) {
        QPointer<QDialog> box(dialog);
        while (open_ && open_->isVisible() && box)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!box)
            return QDialog::Rejected;
        const QPointer<QDialog> outer = std::exchange(open_, box);
        const int result = box->exec();
        open_ = outer;
        return box ? result : int(QDialog::Rejected);
    }

    std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                    const QString &defaultText) {
        Held<QInputDialog> box(parent());
        box->setWindowTitle(titleOr(title));
        box->setLabelText(prompt);
        box->setTextValue(defaultText);
        if (show(box.box) != QDialog::Accepted || !box)
            return std::nullopt;
        return box->textValue();
    }

    QString chosenFile(QFileDialog *dialog) {
        QPointer<QFileDialog> box(dialog);
        if (show(box) != QDialog::Accepted || !box || box->selectedFiles().isEmpty())
            return {};
        return box->selectedFiles().first();
    }

    QPointer<QDialog> open_;

    static QMessageBox::Icon toQt(Icon icon) {
        switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }
};

WidgetDialogs widgetDialogs;
Dialogs *current = nullptr;

} // namespace

Dialogs &dialogs() {
    return current ? *current : widgetDialogs;
}

void installDialogs(Dialogs *replacement) {
    current = replacement;
}

void setBoxParent(QWidget *parent) {
    widgetDialogs.boxParent = parent;
}

} // namespace zor
