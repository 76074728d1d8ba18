#pragma once

#include <QStatusBar>
#include <QTimer>
#include <array>

class QLabel;

namespace zor {

// The six-panel status bar: settings, port, RX trace, TX trace, date, time.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int Count = 6;

    explicit StatusPanels(QWidget *parent = nullptr);

    // Panels count from 1 as the operators' manuals do.
    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;
    QString panelToolTip(int panel) const;

private:
    void refreshClock();

    std::array<QLabel *, Count> panels_{};
    // The texts as set; the panels show them without control characters.
    std::array<QString, Count> texts_{};
    QTimer clock_;
};

} // namespace zor
