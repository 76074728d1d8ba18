#include "platform/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>

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

    QString input(const QString &prompt, const QString &title,
                  const QString &defaultText) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), titleOr(title),
                                                   prompt, QLineEdit::Normal, defaultText, &ok);
        return ok ? text : QString();
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
