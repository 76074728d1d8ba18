#include "platform/toggleswitch.h"

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
    const QColor colour = isChecked() ? onColor_ : offColor_;
    setStyleSheet(colour.isValid()
                      ? QStringLiteral("QPushButton { background-color: %1; }").arg(colour.name())
                      : QString());
}

} // namespace zor
