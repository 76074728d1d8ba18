#include "shell/statuspanels.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

namespace zor {

StatusPanels::StatusPanels(QWidget *parent) : QStatusBar(parent) {
    struct Design {
        const char *text;
        const char *tip;
        int stretch;
        // A usual text of the panel, which it shows whole at the window's smallest.
        const char *usual;
    };
    static const Design design[Count] = {
        {"SET PORT!", "Comm Port Settings", 3, "Comm Port Setting:  115200,n,8,1"},
        {"Comm Ch.", "Selected Comm Port", 2, "Comm Port:  /dev/ttyUSB0"},
        {"RX", "Data Received", 5, "RX: 100000001-A00001;t"},
        {"TX", "Data Transmitted", 2, "TX: SNUR;}"},
        {"", "Today's Date", 0, ""},
        {"", "The Time Right Now!!", 0, ""},
    };
    setSizeGripEnabled(false);
    for (int i = 0; i < Count; ++i) {
        auto *label = new QLabel(QString::fromLatin1(design[i].text), this);
        label->setToolTip(QString::fromLatin1(design[i].tip));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        if (design[i].stretch > 0) {
            const int frame = 2 * label->frameWidth() + 2 * label->margin();
            label->setMinimumWidth(
                label->fontMetrics().horizontalAdvance(QString::fromLatin1(design[i].usual)) +
                frame + label->fontMetrics().averageCharWidth());
        }
        texts_[i] = label->text();
        if (design[i].stretch > 0)
            addWidget(label, design[i].stretch);
        else
            addPermanentWidget(label);
        panels_[i] = label;
    }
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
    panels_[panel - 1]->setText(shown);
}

QString StatusPanels::panelText(int panel) const {
    return panel >= 1 && panel <= Count ? texts_[panel - 1] : QString();
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
