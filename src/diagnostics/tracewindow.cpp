#include "diagnostics/tracewindow.h"

#include "trend/savebox.h"

#include "link/traffictrace.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace zor {

TraceWindow::TraceWindow(TrafficTrace &trace) : trace_(trace) {
    setObjectName(QStringLiteral("frm_TRACE"));
    setWindowTitle(QStringLiteral("Traffic Trace"));
    auto *box = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    txt_FILTER = new QLineEdit(this);
    txt_FILTER->setObjectName(QStringLiteral("txt_FILTER"));
    txt_FILTER->setPlaceholderText(QStringLiteral("Filter by payload sent"));
    btn_PAUSE = new QPushButton(QStringLiteral("Pause"), this);
    btn_PAUSE->setObjectName(QStringLiteral("btn_PAUSE"));
    btn_PAUSE->setCheckable(true);
    btn_PAUSE->setChecked(trace.paused);
    btn_CLEAR = new QPushButton(QStringLiteral("Clear"), this);
    btn_CLEAR->setObjectName(QStringLiteral("btn_CLEAR"));
    btn_COPY = new QPushButton(QStringLiteral("Copy"), this);
    btn_COPY->setObjectName(QStringLiteral("btn_COPY"));
    btn_SAVE = new QPushButton(QStringLiteral("Save..."), this);
    btn_SAVE->setObjectName(QStringLiteral("btn_SAVE"));
    for (QWidget *w :
         std::initializer_list<QWidget *>{txt_FILTER, btn_PAUSE, btn_CLEAR, btn_COPY, btn_SAVE})
        bar->addWidget(w);
    box->addLayout(bar);

    filter_ = new QSortFilterProxyModel(this);
    filter_->setSourceModel(&trace);
    filter_->setFilterKeyColumn(TrafficTrace::Sent);
    filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    lst_TRACE = new QTableView(this);
    lst_TRACE->setObjectName(QStringLiteral("lst_TRACE"));
    lst_TRACE->setModel(filter_);
    lst_TRACE->setSelectionBehavior(QAbstractItemView::SelectRows);
    lst_TRACE->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lst_TRACE->setWordWrap(false);
    // Fixed row heights and column widths: a new row is placed, never measured.
    lst_TRACE->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lst_TRACE->verticalHeader()->hide();
    lst_TRACE->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lst_TRACE->horizontalHeader()->setStretchLastSection(true);
    // As wide as the headers at first; fitColumns widens a column for a longer
    // cell as its row comes, which costs one measure per cell.
    for (int column = 0; column + 1 < TrafficTrace::ColumnCount; ++column)
        lst_TRACE->setColumnWidth(column, lst_TRACE->horizontalHeader()->sectionSizeHint(column));
    fitColumns(0, filter_->rowCount() - 1);
    box->addWidget(lst_TRACE);
    resize(760, 420);

    connect(txt_FILTER, &QLineEdit::textChanged, filter_,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(btn_PAUSE, &QPushButton::toggled, this, [this](bool on) { trace_.paused = on; });
    connect(btn_CLEAR, &QPushButton::clicked, this, [this] { trace_.clear(); });
    connect(btn_COPY, &QPushButton::clicked, this, &TraceWindow::btn_COPY_Click);
    connect(btn_SAVE, &QPushButton::clicked, this, &TraceWindow::btn_SAVE_Click);
    // Follows the newest row while the view is at the bottom.
    connect(filter_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { fitColumns(first, last); });
    connect(filter_, &QAbstractItemModel::rowsInserted, this, [this] {
        QScrollBar *v = lst_TRACE->verticalScrollBar();
        if (v->value() >= v->maximum() - 1)
            lst_TRACE->scrollToBottom();
    });
}

void TraceWindow::fitColumns(int first, int last) {
    // The last column stretches to the window's edge. A cell needs what the
    // delegate asks for it, and the grid line.
    for (int column = 0; column + 1 < TrafficTrace::ColumnCount; ++column) {
        int width = lst_TRACE->columnWidth(column);
        for (int row = first; row <= last; ++row)
            width = std::max(width,
                             lst_TRACE->sizeHintForIndex(filter_->index(row, column)).width() + 1);
        if (width != lst_TRACE->columnWidth(column))
            lst_TRACE->setColumnWidth(column, width);
    }
}

QString TraceWindow::shownText(bool selectionOnly) const {
    QList<int> rows;
    const QModelIndexList selected = lst_TRACE->selectionModel()->selectedRows();
    if (selected.isEmpty() || !selectionOnly) {
        for (int r = 0; r < filter_->rowCount(); ++r)
            rows << filter_->mapToSource(filter_->index(r, 0)).row();
    } else {
        for (const QModelIndex &i : selected)
            rows << filter_->mapToSource(i).row();
        std::sort(rows.begin(), rows.end());
    }
    return trace_.text(rows);
}

void TraceWindow::btn_COPY_Click() {
    QApplication::clipboard()->setText(shownText());
}

// Every row the filter shows, under a header, whatever is selected: a file
// that silently held one row would look like the whole trace.
void TraceWindow::btn_SAVE_Click() {
    QString header;
    for (int c = 0; c < trace_.columnCount(); ++c)
        header += trace_.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() +
                  (c + 1 < trace_.columnCount() ? u'\t' : u'\n');
    const QString text = header + shownText(false);
    writeChosenFile(
        windowTitle(), QStringLiteral("Text files (*.txt)"),
        [&text](const QString &path) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
                file.write(text.toUtf8()) < 0 || !file.flush())
                return file.errorString();
            return QString();
        },
        QStringLiteral("Trace Not Saved! %1: %2"), QDir::home().filePath("zor-trace.txt"));
}

} // namespace zor
