#pragma once

#include <QLineEdit>
#include <QPixmap>

namespace zor {

// A read-only field that shows a reading. A new reading repaints the field
// alone: it keeps a picture of what lies behind it (the window and its frame,
// which a reading does not change) and puts that back under its own painting,
// where a plain line edit has every widget behind it paint again first. The
// picture is taken again whenever the field, its parent or their look change.
class Readout : public QLineEdit {
public:
    explicit Readout(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Key {
        QRect geometry;
        QSize parentSize;
        qint64 palette = 0;
        const void *style = nullptr;
        bool operator==(const Key &) const = default;
    };
    Key currentKey() const;

    QPixmap backdrop_;
    Key backdropKey_;
};

} // namespace zor
