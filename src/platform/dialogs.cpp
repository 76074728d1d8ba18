#include "platform/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace zor {

namespace {

QString titleOr(const QString &title) {
    return title.isEmpty() ? QApplication::applicationName() : title;
}

class WidgetDialogs final : public Dialogs {
public:
    void message(const QString &text, const QString &title, Icon icon) override {
        QMessageBox box(toQt(icon), titleOr(title), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }

    void detailedMessage(const QString &text, const QString &informative, const QString &title,
                         Icon icon) override {
        QMessageBox box(toQt(icon), titleOr(title), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setInformativeText(informative);
        box.exec();
    }

    bool confirm(const QString &text, const QString &title) override {
        QMessageBox box(QMessageBox::Question, titleOr(title), text,
                        QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
        return box.exec() == QMessageBox::Ok;
    }

    int ask(const QString &text, const QStringList &buttons, const QString &title) override {
        QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        QList<QAbstractButton *> made;
        for (qsizetype i = 0; i < buttons.size(); ++i)
            made << box.addButton(buttons[i], i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                      : QMessageBox::AcceptRole);
        if (!made.isEmpty()) {
            box.setDefaultButton(qobject_cast<QPushButton *>(made.last()));
            box.setEscapeButton(made.last());
        }
        box.exec();
        const qsizetype index = made.indexOf(box.clickedButton());
        return index < 0 ? int(buttons.size()) - 1 : int(index);
    }

    QString input(const QString &prompt, const QString &title,
                  const QString &defaultText) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), titleOr(title),
                                                   prompt, QLineEdit::Normal, defaultText, &ok);
        return ok ? text : QString();
    }

    std::optional<QString> inputOrCancel(const QString &prompt, const QString &title) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), titleOr(title),
                                                   prompt, QLineEdit::Normal, {}, &ok);
        return ok ? std::optional(text.isNull() ? QStringLiteral("") : text) : std::nullopt;
    }

    QString saveFile(const QString &title, const QString &filter,
                     const QString &suggested) override {
        // Qt's own box, not the platform's: the X-ray off key must reach the
        // console while it is open.
        QFileDialog box(QApplication::activeWindow(), titleOr(title), suggested, filter);
        box.setOption(QFileDialog::DontUseNativeDialog);
        box.setAcceptMode(QFileDialog::AcceptSave);
        static const QRegularExpression extension(QStringLiteral("\\*\\.(\\w+)"));
        if (const auto match = extension.match(filter); match.hasMatch())
            box.setDefaultSuffix(match.captured(1));
        if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
            return {};
        return box.selectedFiles().first();
    }

    QString openFile(const QString &title, const QString &filter,
                     const QString &suggested) override {
        QFileDialog box(QApplication::activeWindow(), titleOr(title), suggested, filter);
        box.setOption(QFileDialog::DontUseNativeDialog);
        box.setFileMode(QFileDialog::ExistingFile);
        if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
            return {};
        return box.selectedFiles().first();
    }

    QString choice(const QString &prompt, const QStringList &items, const QString &defaultText,
                   const QString &title) override {
        QStringList offered = items;
        offered.removeAll(defaultText);
        if (!defaultText.isEmpty())
            offered.prepend(defaultText);
        bool ok = false;
        const QString text = QInputDialog::getItem(QApplication::activeWindow(), titleOr(title),
                                                   prompt, offered, 0, true, &ok);
        return ok ? text : QString();
    }

    void runModal(QDialog &dialog) override { dialog.exec(); }

private:
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

} // namespace zor
