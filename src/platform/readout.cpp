#include "platform/readout.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionFrame>

namespace zor {

namespace {

// The application's style, but a readout's panel comes from its picture.
class ReadoutStyle final : public QProxyStyle {
public:
    explicit ReadoutStyle(QStyle *base) : QProxyStyle(base) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override {
        if (element == PE_PanelLineEdit && option)
            if (const auto *field = dynamic_cast<const Readout *>(widget)) {
                field->drawPanel(*option, painter, *baseStyle());
                return;
            }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

QStyle *readoutStyle() {
    static QPointer<ReadoutStyle> style;
    if (!style) {
        QStyle *base = QStyleFactory::create(QApplication::style()->name());
        if (!base)
            return nullptr;
        style = new ReadoutStyle(base);
        style->setParent(qApp);
    }
    return style;
}

} // namespace

Readout::Readout(const QString &text, QWidget *parent) : QLineEdit(text, parent) {
    setReadOnly(true);
    // The picture covers every pixel of the field.
    if (QStyle *style = readoutStyle()) {
        setStyle(style);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
}

Readout::Key Readout::currentKey(const QStyleOption &option) const {
    const QWidget *behind = parentWidget();
    return {geometry(),
            behind->size(),
            behind->palette().cacheKey(),
            behind->style(),
            option.rect,
            int(option.state),
            option.palette.cacheKey(),
            qstyleoption_cast<const QStyleOptionFrame *>(&option)
                ? static_cast<const QStyleOptionFrame &>(option).lineWidth
                : 0};
}

void Readout::drawPanel(const QStyleOption &option, QPainter *painter, const QStyle &base) const {
    QWidget *behind = parentWidget();
    if (!behind) {
        base.drawPrimitive(QStyle::PE_PanelLineEdit, &option, painter, this);
        return;
    }
    const Key key = currentKey(option);
    if (picture_.isNull() || !(key == pictureKey_)) {
        // The parent over its window's ground, without its children: what
        // the window shows where this field stands; then the panel over it.
        picture_ = QPixmap(size() * devicePixelRatio());
        picture_.setDevicePixelRatio(devicePixelRatio());
        behind->render(&picture_, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
        QPainter onPicture(&picture_);
        base.drawPrimitive(QStyle::PE_PanelLineEdit, &option, &onPicture, this);
        pictureKey_ = key;
    }
    painter->drawPixmap(QPoint(), picture_);
}

void Readout::changeEvent(QEvent *event) {
    // Under another style (a style sheet's) the picture is not drawn: then the
    // widgets behind paint first, as for any line edit.
    if (event->type() == QEvent::StyleChange)
        setAttribute(Qt::WA_OpaquePaintEvent, style() == readoutStyle());
    QLineEdit::changeEvent(event);
}

} // namespace zor
