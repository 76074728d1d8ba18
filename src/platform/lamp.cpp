#include "platform/lamp.h"

#include <QPainter>

namespace zor {

Lamp::Lamp(const QColor &litColor, const QColor &unlitColor, QWidget *parent)
    : QWidget(parent), litColor_(litColor), unlitColor_(unlitColor) {
    setMinimumSize(14, 14);
}

void Lamp::setValue(bool lit) {
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
}

void Lamp::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(currentColor());
    p.drawEllipse(r);
}

} // namespace zor
