#pragma once

#include "runs/tubehistory.h"
#include "ui/formregistry.h"

class QComboBox;
class QLabel;
class QSpinBox;

namespace zor {

// One figure of a tube's runs, run by run: a line per series, the runs'
// dates under it.
class HistoryPlot : public QWidget {
    Q_OBJECT
public:
    struct Series {
        QString name;
        QColor colour;
        std::vector<std::optional<double>> values; // one per run
    };
    HistoryPlot(const QString &title, const QString &unit, QWidget *parent);
    void setRuns(const QStringList &runs, std::vector<Series> series);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString title_;
    QString unit_;
    QStringList runs_;
    std::vector<Series> series_;
};

// "Tube History": the tubes of the run records, and for the one chosen its
// arcs per hour at each kV band, highest kV held, time to complete the
// schedule and filament current at the top step, across its runs; and after
// how many idle days switching on asks first.
class TubeHistoryWindow : public Form {
    Q_OBJECT
public:
    explicit TubeHistoryWindow(QString folder);

    QComboBox *cmb_TUBE;
    QLabel *lbl_IDLE;
    QSpinBox *txt_IDLEDAYS;
    HistoryPlot *plt_ARCS;
    HistoryPlot *plt_KV;
    HistoryPlot *plt_TIME;
    HistoryPlot *plt_FILAMENT;

    // Reads the records again.
    void refresh();
    void showTube(const QString &tube);

private:
    QString folder_;
    std::map<QString, std::vector<runs::TubeRun>> tubes_;
};

} // namespace zor
