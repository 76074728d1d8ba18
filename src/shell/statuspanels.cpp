#include "shell/statuspanels.h"

#include <QDateTime>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

namespace zor {

StatusPanel::StatusPanel(const QString &sample, QWidget *parent) : QFrame(parent), sample_(sample) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Opaque, so a new text repaints this panel alone, not the bar behind it.
    setAutoFillBackground(true);
}

void StatusPanel::setText(const QString &text) {
    if (text == text_)
        return;
    text_ = text;
    update(contentsRect());
}

QSize StatusPanel::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int frame = 2 * frameWidth();
    return {metrics.horizontalAdvance(sample_) + metrics.averageCharWidth() + frame,
            metrics.height() + frame};
}

void StatusPanel::paintEvent(QPaintEvent *event) {
    // A new text repaints the inside only; the sunken frame stays as drawn.
    if (!contentsRect().contains(event->rect()))
        QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(2, 0, -2, 0);
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    if (elide_) {
        // Only the port panel, which changes when a port opens, not per exchange.
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text_, Qt::ElideMiddle, area.width()));
        return;
    }
    // One plain run of text, clipped: a laid-out or elided text costs several
    // times more, twice per exchange.
    QStaticText *layout = layouts_.object(text_);
    if (!layout) {
        layout = new QStaticText(text_);
        layout->setTextFormat(Qt::PlainText);
        layouts_.insert(text_, layout);
    }
    const QFontMetrics metrics = fontMetrics();
    painter.drawStaticText(area.left(), area.top() + (area.height() - metrics.height()) / 2,
                           *layout);
}

namespace {

struct Design {
    const char *text;
    const char *tip;
    int stretch;
    // A usual text of the panel, which it shows whole at the window's smallest.
    const char *usual;
};
const Design design[StatusPanels::Count] = {
    {"SET PORT!", "Comm Port Settings", 3, "Comm Port Setting:  115200,n,8,1"},
    {"Comm Ch.", "Selected Comm Port", 2, "Comm Port:  /dev/ttyUSB0"},
    {"RX", "Data Received", 5, "RX: 100000001-A00001;t"},
    {"TX", "Data Transmitted", 2, "TX: SNUR;}"},
    {"", "Today's Date", 0, nullptr},
    {"", "The Time Right Now!!", 0, nullptr},
};
constexpr int PortPanel = 2;
constexpr int RxPanel = 3;
constexpr int TxPanel = 4;

} // namespace

StatusPanels::StatusPanels(QWidget *parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (int i = 0; i < Count; ++i) {
        // The clock panels are as wide as the longest date and time they show.
        const QLocale locale;
        const QString sample = design[i].usual ? QString::fromLatin1(design[i].usual)
                               : i == 4
                                   ? locale.toString(QDate(2026, 12, 31), QLocale::ShortFormat)
                                   : locale.toString(QTime(23, 59), QLocale::ShortFormat) + u' ';
        auto *label = new StatusPanel(sample, this);
        label->setText(QString::fromLatin1(design[i].text));
        label->setToolTip(QString::fromLatin1(design[i].tip));
        texts_[i] = label->text();
        label->setElidedInMiddle(i + 1 == PortPanel);
        if (design[i].stretch > 0)
            addWidget(label, design[i].stretch);
        else
            addPermanentWidget(label);
        panels_[i] = label;
    }
    repaint_.setSingleShot(true);
    connect(&repaint_, &QTimer::timeout, this, &StatusPanels::showPending);
    // The clock only needs a tick a second; it costs nothing while idle.
    clock_.setInterval(1000);
    connect(&clock_, &QTimer::timeout, this, &StatusPanels::refreshClock);
    clock_.start();
    refreshClock();
}

void StatusPanels::setPanelText(int panel, const QString &text) {
    if (panel < 1 || panel > Count)
        return;
    texts_[panel - 1] = text;
    // A frame's STX, checksum and line end have no glyph in a one-line panel.
    QString shown = text;
    shown.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    const bool trace = panel == RxPanel || panel == TxPanel;
    if (trace && repaint_.isActive()) {
        pending_[panel - 1] = shown;
    } else {
        pending_[panel - 1].reset();
        panels_[panel - 1]->setText(shown);
        // Never restarted while running: a steady stream still shows every interval.
        if (trace && repaintIntervalMs > 0)
            repaint_.start(repaintIntervalMs);
    }
    // A by-id path rarely fits: the tip holds it whole.
    if (panel == PortPanel)
        panels_[panel - 1]->setToolTip(
            QStringLiteral("%1\n%2").arg(QString::fromLatin1(design[panel - 1].tip), shown));
}

void StatusPanels::showPending() {
    bool shown = false;
    for (int i = 0; i < Count; ++i) {
        if (auto text = std::exchange(pending_[i], std::nullopt)) {
            panels_[i]->setText(*text);
            shown = true;
        }
    }
    // Whatever comes within the next interval waits for its end again.
    if (shown && repaintIntervalMs > 0)
        repaint_.start(repaintIntervalMs);
}

QString StatusPanels::panelText(int panel) const {
    return panel >= 1 && panel <= Count ? texts_[panel - 1] : QString();
}

QString StatusPanels::panelShown(int panel) const {
    return panel >= 1 && panel <= Count ? panels_[panel - 1]->text() : QString();
}

QString StatusPanels::panelToolTip(int panel) const {
    return panel >= 1 && panel <= Count ? panels_[panel - 1]->toolTip() : QString();
}

void StatusPanels::refreshClock() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    setPanelText(5, locale.toString(now.date(), QLocale::ShortFormat));
    setPanelText(6, locale.toString(now.time(), QLocale::ShortFormat));
}

} // namespace zor
