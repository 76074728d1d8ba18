#include "platform/readout.h"

#include <QPaintEvent>
#include <QPainter>

namespace zor {

Readout::Readout(const QString &text, QWidget *parent) : QLineEdit(text, parent) {
    setReadOnly(true);
    // It paints every pixel it covers itself, backdrop first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Readout::Key Readout::currentKey() const {
    const QWidget *behind = parentWidget();
    return {geometry(), behind ? behind->size() : QSize(),
            behind ? behind->palette().cacheKey() : 0, behind ? behind->style() : nullptr};
}

void Readout::paintEvent(QPaintEvent *event) {
    if (QWidget *behind = parentWidget()) {
        const Key key = currentKey();
        if (backdrop_.isNull() || !(key == backdropKey_)) {
            // The parent over its window's ground, without its children: what
            // the window shows where this field stands.
            backdrop_ = QPixmap(size() * devicePixelRatio());
            backdrop_.setDevicePixelRatio(devicePixelRatio());
            behind->render(&backdrop_, QPoint(), QRegion(geometry()),
                           QWidget::DrawWindowBackground);
            backdropKey_ = key;
        }
        QPainter painter(this);
        painter.drawPixmap(event->rect(), backdrop_, event->rect());
    }
    QLineEdit::paintEvent(event);
}

} // namespace zor
