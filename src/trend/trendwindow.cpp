#include "trend/trendwindow.h"

#include "records/decimate.h"
#include "records/samplerow.h"
#include "trend/savebox.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace zor {

namespace {

// The trended quantities in drawing order: the set-points first, then the
// monitors with the kV monitor last, above all, so no other line hides it.
std::array<Quantity, TrendCount> drawingOrder() {
    std::array<Quantity, TrendCount> order{};
    int n = 0;
    for (const QuantityInfo &q : Quantities)
        if (q.trend != TrendAxis::None && q.dashed)
            order[n++] = q.id;
    for (auto q = std::rbegin(Quantities); q != std::rend(Quantities); ++q)
        if (q->trend != TrendAxis::None && !q->dashed)
            order[n++] = q->id;
    return order;
}

// An axis range around the drawn points on round ticks, zero the floor unless a
// value goes below it. Set only when it moves: each change re-lays out the chart.
void fit(QValueAxis *axis, TrendAxis side,
         const std::array<QList<QPointF>, QuantityCount> &points) {
    double lo = 0, hi = 0;
    for (const QuantityInfo &q : Quantities)
        if (q.trend == side)
            for (const QPointF &p : points[int(q.id)])
                lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
    const double rough = std::max(hi - lo, 0.1) / 4;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = magnitude;
    for (const double f : {2.0, 5.0, 10.0})
        if (step < rough)
            step = f * magnitude;
    lo = std::floor(lo / step) * step;
    hi = std::max(lo + step, std::ceil(hi * 1.02 / step) * step);
    if (axis->min() != lo || axis->max() != hi) {
        axis->setRange(lo, hi);
        axis->setTickCount(int(std::lround((hi - lo) / step)) + 1);
    }
}

} // namespace

TrendWindow::TrendWindow(const TrendHistory &history, QWidget *parent)
    : QWidget(parent, Qt::Window), history_(history), chart_(new QChart),
      timeAxis_(new QDateTimeAxis), kvAxis_(new QValueAxis), maAxis_(new QValueAxis),
      arcs_(new QScatterSeries) {
    setObjectName(QStringLiteral("frm_TREND"));
    setWindowTitle(QStringLiteral("Trend"));
    resize(900, 520);

    timeAxis_->setFormat(QStringLiteral("HH:mm:ss"));
    timeAxis_->setTitleText(QStringLiteral("Local time"));
    kvAxis_->setTitleText(QStringLiteral("kV"));
    maAxis_->setTitleText(QStringLiteral("mA, A"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(kvAxis_, Qt::AlignLeft);
    chart_->addAxis(maAxis_, Qt::AlignRight);
    // Added last, drawn last.
    for (const Quantity id : drawingOrder()) {
        const QuantityInfo &q = info(id);
        auto *line = new QLineSeries;
        line->setName(QStringLiteral("%1 (%2)").arg(QLatin1String(q.name), QLatin1String(q.unit)));
        const QColor colour = QColor::fromRgb(QRgb(q.rgb));
        QPen pen(q.dashed ? colour.lighter(160) : colour, q.dashed ? 1.5 : 2.0);
        if (q.dashed)
            pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        chart_->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(q.trend == TrendAxis::Ma ? maAxis_ : kvAxis_);
        lines_[int(id)] = line;
    }
    arcs_->setName(QStringLiteral("Arc"));
    arcs_->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    arcs_->setMarkerSize(11);
    arcs_->setColor(QColor(0xe6, 0x7e, 0x22));
    chart_->addSeries(arcs_);
    arcs_->attachAxis(timeAxis_);
    arcs_->attachAxis(kvAxis_);
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(4, 4, 4, 4));

    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing, false);
    view_->setMouseTracking(true);
    view_->viewport()->installEventFilter(this);

    combo_SPAN = new QComboBox;
    combo_SPAN->setObjectName(QStringLiteral("combo_SPAN"));
    combo_SPAN->addItems({QStringLiteral("1 min"), QStringLiteral("10 min"), QStringLiteral("1 h"),
                          QStringLiteral("8 h")});
    combo_SPAN->setCurrentIndex(1);
    btn_PAUSE = new QPushButton(QStringLiteral("Pause"));
    btn_PAUSE->setObjectName(QStringLiteral("btn_PAUSE"));
    btn_PAUSE->setCheckable(true);
    btn_PNG = new QPushButton(QStringLiteral("Export PNG..."));
    btn_PNG->setObjectName(QStringLiteral("btn_PNG"));
    btn_CSV = new QPushButton(QStringLiteral("Export CSV..."));
    btn_CSV->setObjectName(QStringLiteral("btn_CSV"));
    lbl_CURSOR = new QLabel;
    lbl_CURSOR->setObjectName(QStringLiteral("lbl_CURSOR"));

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Span:")));
    bar->addWidget(combo_SPAN);
    bar->addWidget(btn_PAUSE);
    bar->addWidget(lbl_CURSOR, 1);
    bar->addWidget(btn_PNG);
    bar->addWidget(btn_CSV);
    auto *box = new QVBoxLayout(this);
    box->addLayout(bar);
    box->addWidget(view_, 1);

    connect(combo_SPAN, &QComboBox::currentIndexChanged, this, &TrendWindow::redraw);
    connect(btn_PAUSE, &QPushButton::toggled, this, &TrendWindow::setPaused);
    connect(btn_PNG, &QPushButton::clicked, this, &TrendWindow::btn_PNG_Click);
    connect(btn_CSV, &QPushButton::clicked, this, &TrendWindow::btn_CSV_Click);
}

void TrendWindow::setSpanMinutes(int minutes) {
    const auto it = std::find(SpanMinutes.begin(), SpanMinutes.end(), minutes);
    if (it != SpanMinutes.end())
        combo_SPAN->setCurrentIndex(int(it - SpanMinutes.begin()));
}

qint64 TrendWindow::spanNs() const {
    return SpanMinutes[std::max(0, combo_SPAN->currentIndex())] * 60LL * 1000 * 1000 * 1000;
}

void TrendWindow::setPaused(bool paused) {
    paused_ = paused;
    pausedEndNs_ = paused ? endNs() : 0;
    btn_PAUSE->setChecked(paused);
    btn_PAUSE->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    redraw();
}

qint64 TrendWindow::endNs() const {
    if (paused_)
        return pausedEndNs_;
    return history_.size() ? history_.at(history_.size() - 1).monotonicNs : 0;
}

void TrendWindow::sampleAdded() {
    if (isVisible() && !paused_)
        redraw();
}

void TrendWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    redraw();
}

void TrendWindow::redraw() {
    // One past the end, so the newest sample falls inside the span.
    const qint64 to = endNs() + 1, from = to - spanNs();
    const int columns = std::max(100, int(chart_->plotArea().width()));
    // One piece per stretch the supply answered: an outage is left blank.
    const QList<Run> runs = unbrokenRuns(history_, from, to);
    std::array<QList<QList<QPointF>>, QuantityCount> pieces;
    std::array<QList<QPointF>, QuantityCount> points; // all pieces, for the axes
    for (const QuantityInfo &q : Quantities) {
        if (q.trend == TrendAxis::None)
            continue;
        const int i = int(q.id);
        for (const Run &run : runs) {
            pieces[i].append(q.dashed ? steps(history_, q.id, run)
                                      : decimate(history_, q.id, run, from, to, columns));
            points[i] += pieces[i].last();
        }
    }
    // Axes first: the series then lay themselves out once, on the final scale.
    timeAxis_->setRange(history_.wallClock(from), history_.wallClock(to));
    const QString format = spanNs() > 3600LL * 1000 * 1000 * 1000 ? QStringLiteral("HH:mm")
                                                                  : QStringLiteral("HH:mm:ss");
    if (timeAxis_->format() != format)
        timeAxis_->setFormat(format);
    fit(kvAxis_, TrendAxis::Kv, points);
    fit(maAxis_, TrendAxis::Ma, points);
    for (int i = 0; i < QuantityCount; ++i) {
        if (!lines_[i])
            continue;
        lines_[i]->replace(pieces[i].value(0));
        for (qsizetype n = 1; n < pieces[i].size(); ++n)
            piece(i, n - 1)->replace(pieces[i][n]);
        for (qsizetype n = std::max<qsizetype>(pieces[i].size() - 1, 0);
             n < qsizetype(pieces_[i].size()); ++n)
            pieces_[i][n]->clear();
    }
    arcs_->replace(arcMarks(history_, from, to, columns));
}

QLineSeries *TrendWindow::piece(int line, qsizetype n) {
    while (qsizetype(pieces_[line].size()) <= n) {
        auto *more = new QLineSeries;
        more->setPen(lines_[line]->pen());
        chart_->addSeries(more);
        more->attachAxis(timeAxis_);
        more->attachAxis(lines_[line]->attachedAxes().constLast());
        for (QLegendMarker *marker : chart_->legend()->markers(more))
            marker->setVisible(false);
        pieces_[line].push_back(more);
    }
    return pieces_[line][n];
}

QString TrendWindow::readout(qint64 wallMs) const {
    const qsizetype i = history_.lowerBound(history_.monotonicAt(wallMs));
    if (history_.size() == 0)
        return {};
    const TrendPoint &p = history_.at(std::min(i, history_.size() - 1));
    QStringList parts{history_.wallClock(p.monotonicNs).toString(QStringLiteral("HH:mm:ss.zzz"))};
    for (const QuantityInfo &q : Quantities)
        if (q.trend != TrendAxis::None && !q.dashed)
            parts << fileNumber(p[q.id], q.decimals) + ' ' + QLatin1String(q.unit);
    parts << QStringLiteral("arcs %1").arg(p.arcCount);
    return parts.join(QStringLiteral("   "));
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseMove) {
        const QPointF at = chart_->mapFromScene(
            view_->mapToScene(static_cast<QMouseEvent *>(event)->position().toPoint()));
        if (chart_->plotArea().contains(at))
            lbl_CURSOR->setText(
                readout(qint64(chart_->mapToValue(at, lines_[int(Quantity::KvMonitor)]).x())));
    }
    return QWidget::eventFilter(watched, event);
}

QString TrendWindow::exportTitle() const {
    const QString unit = unitText ? unitText() : QString();
    const int minutes = int(spanNs() / 60'000'000'000LL);
    return QStringLiteral("%1   %2   last %3")
        .arg(unit.isEmpty() ? QStringLiteral("Unit not identified") : unit,
             history_.wallClock(endNs()).toLocalTime().date().toString(Qt::ISODate),
             minutes < 60 ? QStringLiteral("%1 min").arg(minutes)
                          : QStringLiteral("%1 h").arg(minutes / 60));
}

QImage TrendWindow::exportImage() {
    // The title is for the file alone; the window keeps its plot area.
    chart_->setTitle(exportTitle());
    const QImage image = view_->grab().toImage();
    chart_->setTitle({});
    return image;
}

void TrendWindow::btn_PNG_Click() {
    writeChosenFile(QStringLiteral("Export PNG"), QStringLiteral("PNG images (*.png)"),
                    [this](const QString &path) {
                        return exportImage().save(path, "PNG")
                                   ? QString()
                                   : QStringLiteral("the image could not be saved");
                    });
}

void TrendWindow::btn_CSV_Click() {
    writeChosenFile(QStringLiteral("Export CSV"), QStringLiteral("CSV files (*.csv)"),
                    [this](const QString &path) { return exportCsv(path); });
}

QString TrendWindow::exportCsv(const QString &path) const {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    // The data log's columns; what the trend does not keep stays empty.
    out.write(csvHeader().toUtf8() + '\n');
    const qint64 to = endNs() + 1;
    for (qsizetype i = history_.lowerBound(to - spanNs()); i < history_.lowerBound(to); ++i) {
        const TrendPoint &p = history_.at(i);
        SampleValues values = unknownValues();
        for (const QuantityInfo &q : Quantities)
            if (q.trend != TrendAxis::None)
                values[columnOf(q.id)] = p[q.id];
        values[ArcCountColumn] = p.arcCount;
        out.write(csvRow(history_.wallClock(p.monotonicNs), values).toUtf8() + '\n');
    }
    return out.commit() ? QString() : out.errorString();
}

} // namespace zor
