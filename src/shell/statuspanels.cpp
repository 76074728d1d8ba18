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
    };
    static const Design design[Count] = {
        {"SET PORT!", "Comm Port Settings", 3},
        {"Comm Ch.", "Selected Comm Port", 2},
        {"RX", "Data Received", 5},
        {"TX", "Data Transmitted", 2},
        {"", "Today's Date", 0},
        {"", "The Time Right Now!!", 0},
    };
    setSizeGripEnabled(false);
    for (int i = 0; i < Count; ++i) {
        auto *label = new QLabel(QString::fromLatin1(design[i].text), this);
        label->setToolTip(QString::fromLatin1(design[i].tip));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(design[i].stretch > 0 ? 60 : 0);
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
    if (panel >= 1 && panel <= Count)
        panels_[panel - 1]->setText(text);
}

QString StatusPanels::panelText(int panel) const {
    return panel >= 1 && panel <= Count ? panels_[panel - 1]->text() : QString();
}

QString StatusPanels::panelToolTip(int panel) const {
    return panel >= 1 && panel <= Count ? panels_[panel - 1]->toolTip() : QString();
}

void StatusPanels::refreshClock() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    panels_[4]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    panels_[5]->setText(locale.toString(now.time(), QLocale::ShortFormat));
}

} // namespace zor
