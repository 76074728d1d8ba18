#include "platform/numedit.h"

#include "platform/numbertext.h"

#include <QLineEdit>
#include <QLocale>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <cmath>

namespace zor {

NumEdit::NumEdit(QWidget *parent) : QAbstractSpinBox(parent) {
    setKeyboardTracking(false);
    connect(this, &QAbstractSpinBox::editingFinished, this, &NumEdit::commitTyped);
    display(value_);
}

void NumEdit::setValue(double value) {
    if (!std::isfinite(value))
        return;
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) {
        display(value_); // typed text that meant the same value is tidied up
        return;
    }
    value_ = value;
    display(value_);
    emit valueChanged(value_);
}

void NumEdit::setMinimum(double minimum) {
    setRange(minimum, std::max(minimum, maximum_));
}

void NumEdit::setMaximum(double maximum) {
    setRange(std::min(minimum_, maximum), maximum);
}

void NumEdit::setRange(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || minimum > maximum)
        return;
    minimum_ = minimum;
    maximum_ = maximum;
    updateGeometry();
    setValue(value_);
}

void NumEdit::setIncrement(double increment) {
    if (std::isfinite(increment))
        increment_ = increment;
}

void NumEdit::setDecimals(int decimals) {
    decimals_ = std::clamp(decimals, 0, 12);
    updateGeometry();
    display(value_);
}

bool NumEdit::enterText(const QString &text) {
    const auto v = decimalNumber(text);
    if (!v) {
        display(value_);
        return false;
    }
    setValue(*v);
    return true;
}

void NumEdit::stepBy(int steps) {
    const double step = increment();
    if (!std::isfinite(step) || step == 0.0)
        return;
    setValue(value_ + steps * step);
}

QValidator::State NumEdit::validate(QString &input, int &) const {
    const QString t = input.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String(".") ||
        t == QLatin1String("-."))
        return QValidator::Intermediate;
    for (QChar ch : t)
        if (!ch.isDigit() && ch != u'.' && ch != u'-' && ch != u'e' && ch != u'E' && ch != u'+')
            return QValidator::Invalid;
    return decimalNumber(t) ? QValidator::Acceptable : QValidator::Intermediate;
}

QSize NumEdit::sizeHint() const {
    ensurePolished();
    // The base class cannot know this editor's texts and sizes it for none.
    const double widest = std::max(std::abs(minimum_), std::abs(maximum_));
    QString text = QLocale::c().toString(widest, 'f', decimals_);
    if (minimum_ < 0)
        text.prepend(u'-');
    const int cursor = 2;
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize content(fontMetrics().horizontalAdvance(text + u' ') + cursor,
                        lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}

QSize NumEdit::minimumSizeHint() const {
    return sizeHint();
}

QAbstractSpinBox::StepEnabled NumEdit::stepEnabled() const {
    if (!isEnabled() || isReadOnly())
        return StepNone;
    StepEnabled e = StepNone;
    if (value_ < maximum_)
        e |= StepUpEnabled;
    if (value_ > minimum_)
        e |= StepDownEnabled;
    return e;
}

void NumEdit::commitTyped() {
    const QString text = lineEdit()->text();
    // Text that is still what was shown means no entry: re-reading the rounded
    // display would change a value the user never touched.
    if (text == shown_)
        return;
    enterText(text);
}

void NumEdit::display(double value) {
    QString text = QLocale::c().toString(value, 'f', decimals_);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    shown_ = text;
    lineEdit()->setText(text);
}

} // namespace zor
