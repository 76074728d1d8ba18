#include "platform/toggleswitch.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace zor {

ToggleSwitch::ToggleSwitch(const QString &offFace, const QString &onFace, QWidget *parent)
    : QPushButton(parent), offFace_(offFace), onFace_(onFace) {
    setCheckable(true);
    connect(this, &QPushButton::clicked, this, [this](bool on) {
        refresh();
        emit valueChanged(on);
    });
    refresh();
}

void ToggleSwitch::setValue(bool on) {
    if (on == isChecked())
        return;
    setChecked(on);
    refresh();
}

void ToggleSwitch::setColors(const QColor &offColor, const QColor &onColor) {
    offColor_ = offColor;
    onColor_ = onColor;
    refresh();
}

void ToggleSwitch::refresh() {
    setText(isChecked() ? onFace_ : offFace_);
    update();
}

void ToggleSwitch::paintEvent(QPaintEvent *event) {
    const QColor colour = isChecked() ? onColor_ : offColor_;
    if (!colour.isValid()) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(isDown() ? colour.darker(115) : colour);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter.drawControl(QStyle::CE_PushButtonLabel, option);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace zor
