#include "shell/windowplacement.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QWidget>

namespace zor {

namespace {

const char *const Placed = "zorPlaced";

} // namespace

WindowPlacement::WindowPlacement(QWidget &mainWindow) : QObject(&mainWindow), main_(mainWindow) {
    qApp->installEventFilter(this);
}

QRect WindowPlacement::centred(QSize frame, QRect over, QRect screen) {
    QRect r({}, frame);
    r.moveCenter(over.center());
    if (r.right() > screen.right())
        r.moveRight(screen.right());
    if (r.bottom() > screen.bottom())
        r.moveBottom(screen.bottom());
    if (r.left() < screen.left())
        r.moveLeft(screen.left());
    if (r.top() < screen.top())
        r.moveTop(screen.top());
    return r;
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event) {
    // Every event of the application passes here: the type is checked first.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *w = static_cast<QWidget *>(watched);
        const Qt::WindowType type = w->windowType();
        if (w->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
            !w->property(Placed).toBool())
            place(*w);
    }
    return false;
}

void WindowPlacement::place(QWidget &window) {
    window.setProperty(Placed, true);
    // Its final size first: a pending layout may still grow it to its minimum.
    if (window.layout())
        window.layout()->activate();
    const QScreen *screen = main_.screen() ? main_.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect over = &window == &main_ ? available : main_.frameGeometry();
    window.move(centred(window.frameGeometry().size(), over, available).topLeft());
}

} // namespace zor
