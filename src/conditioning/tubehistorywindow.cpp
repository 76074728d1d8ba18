#include "conditioning/tubehistorywindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace zor {

HistoryPlot::HistoryPlot(const QString &title, const QString &unit, QWidget *parent)
    : QWidget(parent), title_(title), unit_(unit) {
    setMinimumSize(320, 200);
}

void HistoryPlot::setRuns(const QStringList &runs, std::vector<Series> series) {
    runs_ = runs;
    series_ = std::move(series);
    update();
}

void HistoryPlot::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QFontMetrics fm = fontMetrics();
    const int line = fm.height();
    p.drawText(QRect(0, 0, width(), line), Qt::AlignCenter, title_);
    const QRect area(fm.horizontalAdvance(QStringLiteral("0000.0")) + 8, line + 6,
                     width() - fm.horizontalAdvance(QStringLiteral("0000.0")) -
                         fm.horizontalAdvance(QStringLiteral("00-00")) - 8,
                     height() - 2 * line - 12);
    double max = 0;
    for (const Series &s : series_)
        for (const auto &v : s.values)
            max = std::max(max, v.value_or(0));
    // Four ticks of 1, 2 or 5 times a power of ten.
    const double raw = max > 0 ? max / 4 : 0.25;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double tick = raw <= power       ? power
                        : raw <= 2 * power ? 2 * power
                        : raw <= 5 * power ? 5 * power
                                           : 10 * power;
    max = std::ceil(max / tick) * tick;
    if (max <= 0)
        max = 4 * tick;
    const int n = int(runs_.size());
    const auto at = [&](int i, double v) {
        return QPointF(area.left() +
                           (n > 1 ? area.width() * i / double(n - 1) : area.width() / 2.0),
                       area.bottom() - area.height() * v / max);
    };
    for (double v = 0; v <= max + tick / 2; v += tick) {
        p.setPen(Qt::lightGray);
        p.drawLine(QPointF(area.left(), at(0, v).y()), QPointF(area.right(), at(0, v).y()));
        p.setPen(palette().text().color());
        p.drawText(QRect(0, int(at(0, v).y()) - line / 2, area.left() - 4, line),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 4));
    }
    p.drawRect(area);
    p.drawText(QRect(0, 0, area.left(), line), Qt::AlignLeft, unit_);
    const int label = fm.horizontalAdvance(QStringLiteral("00-00")) + 8;
    const int every =
        n > 1 ? std::max(1, int(std::ceil(label * (n - 1) / double(area.width())))) : 1;
    for (int i = 0; i < n; i += every)
        p.drawText(QRect(int(at(i, 0).x()) - label / 2, area.bottom() + 2, label, line),
                   Qt::AlignCenter, runs_[i]);
    int legend = area.left() + 4, legendRow = area.top() + line;
    for (const Series &s : series_) {
        p.setPen(QPen(s.colour, 2));
        QPointF last;
        bool have = false;
        for (int i = 0; i < int(s.values.size()); ++i) {
            if (!s.values[std::size_t(i)]) {
                have = false;
                continue;
            }
            const QPointF q = at(i, *s.values[std::size_t(i)]);
            if (have)
                p.drawLine(last, q);
            p.drawEllipse(q, 3, 3);
            last = q;
            have = true;
        }
        if (!s.name.isEmpty()) {
            const int w = fm.horizontalAdvance(s.name) + 12;
            if (legend + w > area.right()) {
                legend = area.left() + 4;
                legendRow += line;
            }
            p.drawText(legend, legendRow, s.name);
            legend += w;
        }
    }
}

TubeHistoryWindow::TubeHistoryWindow(QString folder) : folder_(std::move(folder)) {
    setObjectName(QStringLiteral("frm_TUBEHISTORY"));
    setWindowTitle(QStringLiteral("Tube History"));
    auto *box = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    cmb_TUBE = new QComboBox(this);
    cmb_TUBE->setObjectName(QStringLiteral("cmb_TUBE"));
    lbl_IDLE = new QLabel(this);
    lbl_IDLE->setObjectName(QStringLiteral("lbl_IDLE"));
    txt_IDLEDAYS = new QSpinBox(this);
    txt_IDLEDAYS->setObjectName(QStringLiteral("txt_IDLEDAYS"));
    txt_IDLEDAYS->setRange(1, 3650);
    txt_IDLEDAYS->setSuffix(QStringLiteral(" days"));
    txt_IDLEDAYS->setValue(runs::idleWarningDays());
    form->addRow(QStringLiteral("Tube"), cmb_TUBE);
    form->addRow(QStringLiteral("Last at high voltage"), lbl_IDLE);
    form->addRow(QStringLiteral("Ask before switching on when idle for more than"), txt_IDLEDAYS);
    box->addLayout(form);
    auto *grid = new QGridLayout;
    plt_ARCS = new HistoryPlot(QStringLiteral("Arcs per hour at each kV band"),
                               QStringLiteral("/h"), this);
    plt_KV = new HistoryPlot(QStringLiteral("Highest kV held"), QStringLiteral("kV"), this);
    plt_TIME = new HistoryPlot(QStringLiteral("Time to complete the schedule"),
                               QStringLiteral("min"), this);
    plt_FILAMENT = new HistoryPlot(QStringLiteral("Filament current at the top step"),
                                   QStringLiteral("A"), this);
    plt_ARCS->setObjectName(QStringLiteral("plt_ARCS"));
    plt_KV->setObjectName(QStringLiteral("plt_KV"));
    plt_TIME->setObjectName(QStringLiteral("plt_TIME"));
    plt_FILAMENT->setObjectName(QStringLiteral("plt_FILAMENT"));
    grid->addWidget(plt_ARCS, 0, 0);
    grid->addWidget(plt_KV, 0, 1);
    grid->addWidget(plt_TIME, 1, 0);
    grid->addWidget(plt_FILAMENT, 1, 1);
    box->addLayout(grid, 1);
    connect(cmb_TUBE, &QComboBox::currentTextChanged, this, &TubeHistoryWindow::showTube);
    connect(txt_IDLEDAYS, &QSpinBox::valueChanged, this,
            [](int days) { runs::setIdleWarningDays(days); });
    resize(820, 600);
    refresh();
}

void TubeHistoryWindow::refresh() {
    tubes_ = runs::byTube(runs::tubeRuns(folder_));
    const QString was = cmb_TUBE->currentText();
    const QSignalBlocker quiet(cmb_TUBE);
    cmb_TUBE->clear();
    for (const auto &[name, runs] : tubes_)
        cmb_TUBE->addItem(name);
    if (const int i = cmb_TUBE->findText(was); i >= 0)
        cmb_TUBE->setCurrentIndex(i);
    showTube(cmb_TUBE->currentText());
}

void TubeHistoryWindow::showTube(const QString &tube) {
    static const QColor colours[] = {Qt::blue,     Qt::darkGreen,  Qt::red,   Qt::darkMagenta,
                                     Qt::darkCyan, Qt::darkYellow, Qt::black, Qt::gray};
    const auto found = tubes_.find(tube);
    const std::vector<runs::TubeRun> none;
    const std::vector<runs::TubeRun> &list = found == tubes_.end() ? none : found->second;
    QStringList dates;
    std::map<int, HistoryPlot::Series> bands;
    HistoryPlot::Series kv{{}, Qt::blue, {}}, time{{}, Qt::darkGreen, {}},
        fil{{}, Qt::darkMagenta, {}};
    std::optional<QDateTime> last;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const runs::TubeRun &r = list[i];
        dates << r.started.toString(QStringLiteral("MM-dd"));
        for (const auto &[band, rate] : r.arcsPerHour) {
            HistoryPlot::Series &s = bands[band];
            s.values.resize(list.size());
            s.values[i] = rate;
        }
        kv.values.push_back(r.highestKvHeld);
        time.values.push_back(r.completeSeconds ? std::optional(*r.completeSeconds / 60)
                                                : std::nullopt);
        fil.values.push_back(r.filamentAtTop);
        if (r.lastAtHighVoltage)
            last = std::max(last.value_or(*r.lastAtHighVoltage), *r.lastAtHighVoltage);
    }
    std::vector<HistoryPlot::Series> arcs;
    for (auto &[band, s] : bands) {
        s.name = QStringLiteral("%1-%2 kV").arg(band).arg(band + runs::KvBandWidth);
        s.colour = colours[arcs.size() % std::size(colours)];
        s.values.resize(list.size());
        arcs.push_back(s);
    }
    plt_ARCS->setRuns(dates, arcs);
    plt_KV->setRuns(dates, {kv});
    plt_TIME->setRuns(dates, {time});
    plt_FILAMENT->setRuns(dates, {fil});
    lbl_IDLE->setText(last ? QStringLiteral("%1 (%2 days ago)")
                                 .arg(last->toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                 .arg(last->secsTo(QDateTime::currentDateTime()) / 86400)
                           : QStringLiteral("never"));
}

} // namespace zor
