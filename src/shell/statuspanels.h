#pragma once

#include <QCache>
#include <QFrame>
#include <QStaticText>
#include <QStatusBar>
#include <QTimer>
#include <array>
#include <optional>

namespace zor {

// One sunken panel of one line of text. Its size comes from a sample text, not
// from what it shows: the RX and TX panels change on every exchange, and a
// label that asked for a new layout each time had the status bar repaint
// every panel, twice per exchange.
class StatusPanel final : public QFrame {
public:
    StatusPanel(const QString &sample, QWidget *parent);

    void setText(const QString &text);
    QString text() const { return text_; }
    // A long text is cut in the middle ("/dev/serial/by-id/usb-...-port0"), where
    // a path's least telling part is; the rest are clipped.
    void setElidedInMiddle(bool on) { elide_ = on; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString sample_;
    QString text_;
    bool elide_ = false;
    // Laying a text out costs a third of painting it. The trace panels come
    // back to the same few frames and replies cycle after cycle, so each
    // panel keeps the layouts of the texts it showed last.
    QCache<QString, QStaticText> layouts_{32};
};

// The six-panel status bar: settings, port, RX trace, TX trace, date, time.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int Count = 6;

    explicit StatusPanels(QWidget *parent = nullptr);

    // Panels count from 1 as the operators' manuals do.
    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;
    // What the panel shows now, without control characters.
    QString panelShown(int panel) const;
    QString panelToolTip(int panel) const;
    // A sign beside the trace panels, before the date and the time.
    void addIndicator(QWidget *sign) { insertPermanentWidget(Count - 2, sign); }

    // The RX and TX panels change with every exchange, some 25 times a second
    // while polling, and painting them was a third of the console's work.
    // Nobody reads that fast: a new text shows at once, those that follow
    // within this interval show together when it ends, the latest of each
    // panel. panelText() is always the latest. 0 shows every text at once.
    int repaintIntervalMs = 250;

private:
    void refreshClock();
    void showPending();

    std::array<StatusPanel *, Count> panels_{};
    // The texts as set; the panels show them without control characters.
    std::array<QString, Count> texts_{};
    // What each panel is still to show, until the interval ends.
    std::array<std::optional<QString>, Count> pending_{};
    QTimer repaint_;
    QTimer clock_;
};

} // namespace zor
