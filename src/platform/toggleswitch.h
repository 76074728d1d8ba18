#pragma once

#include <QColor>
#include <QPushButton>

namespace zor {

// Two-position switch with a face text and colour per position. Only a user's
// click raises valueChanged; setting the value from code is silent, so status
// read-backs can move a switch without running its handler.
class ToggleSwitch : public QPushButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(const QString &offFace, const QString &onFace, QWidget *parent = nullptr);

    bool value() const { return isChecked(); }
    void setValue(bool on);
    void setColors(const QColor &offColor, const QColor &onColor);
    QString offFace() const { return offFace_; }
    QString onFace() const { return onFace_; }

signals:
    void valueChanged(bool on);

protected:
    // A coloured face is painted here rather than through a style sheet: each
    // restyled face became a new entry of the application's pixmap cache, so
    // memory grew with every switch of the high voltage.
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    QString offFace_;
    QString onFace_;
    QColor offColor_;
    QColor onColor_;
};

} // namespace zor
