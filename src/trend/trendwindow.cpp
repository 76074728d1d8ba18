#include "trend/trendwindow.h"

#include "records/datalog.h"
#include "records/decimate.h"
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

struct Look {
    TrendSeries series;
    const char *name;
    QColor color;
    bool dashed;
    bool rightAxis;
};
constexpr int LineCount = 5;
const std::array<Look, LineCount> Looks{{
    {TrendSeries::Kv, "HV monitor (kV)", QColor(0x1f, 0x5f, 0xbf), false, false},
    {TrendSeries::Ma, "mA monitor (mA)", QColor(0xc0, 0x39, 0x2b), false, true},
    {TrendSeries::FilamentA, "Filament monitor (A)", QColor(0x1e, 0x8b, 0x4c), false, true},
    {TrendSeries::KvSet, "kV set-point", QColor(0x1f, 0x5f, 0xbf), true, false},
    {TrendSeries::MaSet, "mA set-point", QColor(0xc0, 0x39, 0x2b), true, true},
}};

// An axis range around the drawn points on round ticks, zero the floor unless a
// value goes below it. Set only when it moves: each change re-lays out the chart.
void fit(QValueAxis *axis, std::initializer_list<const QList<QPointF> *> series) {
    double lo = 0, hi = 0;
    for (const auto *points : series)
        for (const QPointF &p : *points)
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
    // Added last, drawn last: the set-points under the monitors, and the kV
    // monitor above all, so the filament line never hides it.
    for (const int i : {3, 4, 2, 1, 0}) {
        auto *line = new QLineSeries;
        line->setName(QString::fromLatin1(Looks[i].name));
        // A set-point is its monitor's colour, lighter and dashed.
        QPen pen(Looks[i].dashed ? Looks[i].color.lighter(160) : Looks[i].color,
                 Looks[i].dashed ? 1.5 : 2.0);
        if (Looks[i].dashed)
            pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        chart_->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(Looks[i].rightAxis ? maAxis_ : kvAxis_);
        lines_[i] = line;
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
    std::array<QList<QList<QPointF>>, LineCount> pieces;
    std::array<QList<QPointF>, LineCount> points; // all pieces, for the axes
    for (int i = 0; i < LineCount; ++i) {
        for (const Run &run : runs) {
            pieces[i].append(Looks[i].dashed
                                 ? steps(history_, Looks[i].series, run)
                                 : decimate(history_, Looks[i].series, run, from, to, columns));
            points[i] += pieces[i].last();
        }
    }
    // Axes first: the series then lay themselves out once, on the final scale.
    timeAxis_->setRange(history_.wallClock(from), history_.wallClock(to));
    const QString format = spanNs() > 3600LL * 1000 * 1000 * 1000 ? QStringLiteral("HH:mm")
                                                                  : QStringLiteral("HH:mm:ss");
    if (timeAxis_->format() != format)
        timeAxis_->setFormat(format);
    fit(kvAxis_, {&points[int(TrendSeries::Kv)], &points[int(TrendSeries::KvSet)]});
    fit(maAxis_, {&points[int(TrendSeries::Ma)], &points[int(TrendSeries::MaSet)],
                  &points[int(TrendSeries::FilamentA)]});
    for (int i = 0; i < LineCount; ++i) {
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
        more->attachAxis(Looks[line].rightAxis ? maAxis_ : kvAxis_);
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
    return QStringLiteral("%1   %2 kV   %3 mA   %4 A   arcs %5")
        .arg(history_.wallClock(p.monotonicNs).toString(QStringLiteral("HH:mm:ss.zzz")),
             fileNumber(p.kv, 3), fileNumber(p.ma, 3), fileNumber(p.filamentA, 3))
        .arg(p.arcCount);
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseMove) {
        const QPointF at = chart_->mapFromScene(
            view_->mapToScene(static_cast<QMouseEvent *>(event)->position().toPoint()));
        if (chart_->plotArea().contains(at))
            lbl_CURSOR->setText(readout(qint64(chart_->mapToValue(at, lines_[0]).x())));
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
    out.write("time [local ISO 8601],HV monitor [kV],mA monitor [mA],filament monitor [A],"
              "kV setpoint [kV],mA setpoint [mA],arc count [arcs]\n");
    const qint64 to = endNs() + 1;
    for (qsizetype i = history_.lowerBound(to - spanNs()); i < history_.lowerBound(to); ++i) {
        const TrendPoint &p = history_.at(i);
        const QStringList fields{fileTime(history_.wallClock(p.monotonicNs)),
                                 fileNumber(p.kv, 3),
                                 fileNumber(p.ma, 3),
                                 fileNumber(p.filamentA, 3),
                                 fileNumber(p.kvSet, 3),
                                 fileNumber(p.maSet, 3),
                                 QString::number(p.arcCount)};
        out.write(fields.join(QLatin1Char(',')).toUtf8() + '\n');
    }
    return out.commit() ? QString() : out.errorString();
}

} // namespace zor
