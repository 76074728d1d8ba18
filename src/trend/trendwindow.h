#pragma once

#include "records/trendhistory.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QValueAxis;

namespace zor {

// The live plot of the monitors, the set-points and the arcs over the last
// minutes or hours. It draws only a min/max-per-pixel digest of the history,
// so a redraw costs the same at every span.
class TrendWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrendWindow(const TrendHistory &history, QWidget *parent = nullptr);

    static constexpr std::array<int, 4> SpanMinutes{1, 10, 60, 480};
    void setSpanMinutes(int minutes);
    qint64 spanNs() const;
    // The end of the drawn span stays where it was while paused.
    void setPaused(bool paused);
    bool paused() const { return paused_; }

    // A new sample arrived: redraws when shown and not paused.
    void sampleAdded();
    void redraw();
    // The cursor's read-out for the wall-clock time ms, as the operator sees it.
    QString readout(qint64 wallMs) const;

    QChartView *view() const { return view_; }
    QComboBox *combo_SPAN;
    QPushButton *btn_PAUSE;
    QPushButton *btn_PNG;
    QPushButton *btn_CSV;
    QLabel *lbl_CURSOR;

    void btn_PNG_Click();
    void btn_CSV_Click();
    // The supply the plot shows ("ZOR80HR  S/N ..."), for the exported image's title.
    std::function<QString()> unitText;
    // Unit, serial number, date and span, above the plot in an exported image.
    QString exportTitle() const;
    QImage exportImage();
    // The samples of the visible span as CSV; the reason when it cannot.
    QString exportCsv(const QString &path) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    qint64 endNs() const;

    const TrendHistory &history_;
    QChart *chart_;
    QChartView *view_;
    QDateTimeAxis *timeAxis_;
    QValueAxis *kvAxis_;
    QValueAxis *maAxis_;
    std::array<QLineSeries *, QuantityCount> lines_{}; // by quantity; none for one not trended
    // Further pieces of each line, one after each outage, out of the legend.
    std::array<std::vector<QLineSeries *>, QuantityCount> pieces_{};
    QLineSeries *piece(int line, qsizetype n);
    QScatterSeries *arcs_;
    bool paused_ = false;
    qint64 pausedEndNs_ = 0;
};

} // namespace zor
