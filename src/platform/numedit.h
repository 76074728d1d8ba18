#pragma once

#include <QAbstractSpinBox>
#include <functional>

namespace zor {

// Numeric editor with up/down arrows: a value kept at full precision between a
// minimum and a maximum, an arrow step, and a change signal. Setting a value
// (from code, a typed entry or an arrow) that differs from the one held raises
// valueChanged; setting the value already held raises nothing, which is what
// ends the exchange between two coupled editors.
class NumEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit NumEdit(QWidget *parent = nullptr);

    double value() const { return value_; }
    // Brought into the range first; a value that is not a number is ignored.
    void setValue(double value);

    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    void setMinimum(double minimum);
    void setMaximum(double maximum);
    void setRange(double minimum, double maximum);

    // The arrow step; a source, when set, is asked at each step instead, for a
    // step that follows a quantity owned elsewhere.
    double increment() const { return incrementSource_ ? incrementSource_() : increment_; }
    void setIncrement(double increment);
    void setIncrementSource(std::function<double()> source) {
        incrementSource_ = std::move(source);
    }

    // Decimal places shown; the value itself is never rounded to them.
    int decimals() const { return decimals_; }
    void setDecimals(int decimals);

    // Takes typed text as if the user had confirmed it; false when it is no number.
    bool enterText(const QString &text);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;
    // Wide enough for the widest value of the range at the decimals shown.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(double value);

protected:
    StepEnabled stepEnabled() const override;

private:
    void commitTyped();
    void display(double value);
    QString shown_;
    double value_ = 0.0;
    double minimum_ = 0.0;
    double maximum_ = 99.0;
    double increment_ = 1.0;
    int decimals_ = 3;
    std::function<double()> incrementSource_;
};

} // namespace zor
