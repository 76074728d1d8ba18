#include "conditioning/runreportswindow.h"

#include "platform/dialogs.h"
#include "runs/runrecord.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zor {

namespace {

QString minutes(double seconds) {
    const qint64 s = qRound64(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

RunReportsWindow::RunReportsWindow(QString folder, std::function<bool(const QUrl &)> openDocument)
    : folder_(std::move(folder)), openDocument_(std::move(openDocument)) {
    setObjectName(QStringLiteral("frm_RUNREPORTS"));
    setWindowTitle(QStringLiteral("Run Reports"));
    auto *box = new QVBoxLayout(this);
    tbl_REPORTS = new QTableWidget(0, 5, this);
    tbl_REPORTS->setObjectName(QStringLiteral("tbl_REPORTS"));
    tbl_REPORTS->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Tube"),
                                            QStringLiteral("Kind"), QStringLiteral("Outcome"),
                                            QStringLiteral("Duration")});
    tbl_REPORTS->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbl_REPORTS->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbl_REPORTS->setSelectionMode(QAbstractItemView::SingleSelection);
    tbl_REPORTS->verticalHeader()->hide();
    tbl_REPORTS->horizontalHeader()->setStretchLastSection(true);
    box->addWidget(tbl_REPORTS);
    auto *buttons = new QHBoxLayout;
    btn_OPEN = new QPushButton(QStringLiteral("Open"), this);
    btn_FOLDER = new QPushButton(QStringLiteral("Open Folder"), this);
    btn_OPEN->setObjectName(QStringLiteral("btn_OPEN"));
    btn_FOLDER->setObjectName(QStringLiteral("btn_FOLDER"));
    buttons->addStretch();
    buttons->addWidget(btn_OPEN);
    buttons->addWidget(btn_FOLDER);
    box->addLayout(buttons);
    connect(btn_OPEN, &QPushButton::clicked, this, &RunReportsWindow::btn_OPEN_Click);
    connect(btn_FOLDER, &QPushButton::clicked, this, &RunReportsWindow::btn_FOLDER_Click);
    connect(tbl_REPORTS, &QTableWidget::cellDoubleClicked, this, &RunReportsWindow::btn_OPEN_Click);
    resize(640, 360);
    refresh();
}

void RunReportsWindow::refresh() {
    const std::vector<runs::ReportEntry> entries = runs::reportEntries(folder_);
    tbl_REPORTS->setRowCount(int(entries.size()));
    paths_.clear();
    for (int row = 0; row < int(entries.size()); ++row) {
        const runs::ReportEntry &e = entries[std::size_t(row)];
        const QDateTime started = QDateTime::fromString(e.started, Qt::ISODate);
        const QStringList cells{
            started.isValid() ? started.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : e.started,
            e.tube, e.kind, e.end, minutes(e.seconds)};
        for (int col = 0; col < cells.size(); ++col)
            tbl_REPORTS->setItem(row, col, new QTableWidgetItem(cells[col]));
        paths_ << e.pdf;
    }
    tbl_REPORTS->resizeColumnsToContents();
    if (!paths_.isEmpty())
        tbl_REPORTS->selectRow(0);
    btn_OPEN->setEnabled(!paths_.isEmpty());
}

void RunReportsWindow::open(const QString &path) {
    if (!openDocument_(QUrl::fromLocalFile(path)))
        dialogs().message(
            QStringLiteral("No viewer opened %1.").arg(QDir::toNativeSeparators(path)));
}

void RunReportsWindow::btn_OPEN_Click() {
    const int row = tbl_REPORTS->currentRow();
    if (row >= 0 && row < paths_.size())
        open(paths_[row]);
}

void RunReportsWindow::btn_FOLDER_Click() {
    open(folder_);
}

} // namespace zor
