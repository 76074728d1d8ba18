#pragma once

#include <QColor>
#include <QWidget>

namespace zor {

// A round indicator lamp: lit or unlit, each with its own colour.
class Lamp : public QWidget {
    Q_OBJECT
public:
    Lamp(const QColor &litColor, const QColor &unlitColor, QWidget *parent = nullptr);

    bool value() const { return lit_; }
    void setValue(bool lit);
    QColor currentColor() const { return lit_ ? litColor_ : unlitColor_; }
    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor litColor_;
    QColor unlitColor_;
    bool lit_ = false;
};

} // namespace zor
