#pragma once

#include <QLineEdit>
#include <QPixmap>

class QStyleOption;

namespace zor {

// A read-only field that shows a reading. A new reading repaints the field
// alone, and only its text anew: it keeps a picture of what lies behind it
// (the window and its frame, which a reading does not change) with its own
// panel drawn over it, where a plain line edit has every widget behind it
// paint again and draws its antialiased frame, which costs more than the
// text. The picture is taken again whenever the field, its parent or their
// look change.
class Readout : public QLineEdit {
public:
    explicit Readout(const QString &text, QWidget *parent = nullptr);

    // The panel as `base` draws it, from the picture; the field's style calls it.
    void drawPanel(const QStyleOption &option, QPainter *painter, const QStyle &base) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Key {
        QRect geometry;
        QSize parentSize;
        qint64 palette = 0;
        const void *style = nullptr;
        // The panel's own look.
        QRect rect;
        int state = 0;
        qint64 ownPalette = 0;
        int lineWidth = 0;
        bool operator==(const Key &) const = default;
    };
    Key currentKey(const QStyleOption &option) const;

    mutable QPixmap picture_;
    mutable Key pictureKey_;
};

} // namespace zor
