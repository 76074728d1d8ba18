#include "audit/auditwindow.h"

#include "records/audittrail.h"
#include "trend/savebox.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zor {

namespace {

QString dayOf(const QJsonObject &e) {
    return e.value(QStringLiteral("time")).toString().left(10);
}

// Each distinct value, in the order met, after the "all" entry.
void offer(QComboBox *box, const QString &all, const QStringList &values) {
    const QString kept = box->currentText();
    QStringList items{all};
    for (const QString &v : values)
        if (!items.contains(v))
            items << v;
    box->blockSignals(true);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(std::max(0, int(items.indexOf(kept))));
    box->blockSignals(false);
}

} // namespace

AuditWindow::AuditWindow(const QString &folder, QWidget *parent)
    : QWidget(parent, Qt::Window), folder_(folder) {
    setObjectName(QStringLiteral("frm_AUDIT"));
    setWindowTitle(QStringLiteral("Audit Trail"));
    resize(900, 460);
    cmb_DAY = new QComboBox;
    cmb_DAY->setObjectName(QStringLiteral("cmb_DAY"));
    cmb_ACTION = new QComboBox;
    cmb_ACTION->setObjectName(QStringLiteral("cmb_ACTION"));
    tbl_AUDIT = new QTableWidget(0, int(auditColumns().size()));
    tbl_AUDIT->setObjectName(QStringLiteral("tbl_AUDIT"));
    tbl_AUDIT->setHorizontalHeaderLabels(auditColumns());
    tbl_AUDIT->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbl_AUDIT->verticalHeader()->hide();
    btn_EXPORT = new QPushButton(QStringLiteral("Export CSV..."));
    btn_EXPORT->setObjectName(QStringLiteral("btn_EXPORT"));
    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Day:")));
    filters->addWidget(cmb_DAY);
    filters->addWidget(new QLabel(QStringLiteral("Action:")));
    filters->addWidget(cmb_ACTION);
    filters->addStretch(1);
    filters->addWidget(btn_EXPORT);
    auto *box = new QVBoxLayout(this);
    box->addLayout(filters);
    box->addWidget(tbl_AUDIT, 1);
    connect(cmb_DAY, &QComboBox::currentIndexChanged, this, &AuditWindow::fill);
    connect(cmb_ACTION, &QComboBox::currentIndexChanged, this, &AuditWindow::fill);
    connect(btn_EXPORT, &QPushButton::clicked, this, &AuditWindow::btn_EXPORT_Click);
    reload();
}

void AuditWindow::reload() {
    entries_ = auditEntries(readAuditFiles(folder_));
    std::reverse(entries_.begin(), entries_.end());
    QStringList days, actions;
    for (const QJsonObject &e : entries_) {
        days << dayOf(e);
        actions << e.value(QStringLiteral("action")).toString();
    }
    actions.sort();
    offer(cmb_DAY, QStringLiteral("All days"), days);
    offer(cmb_ACTION, QStringLiteral("All actions"), actions);
    fill();
}

QList<QJsonObject> AuditWindow::shown() const {
    QList<QJsonObject> out;
    for (const QJsonObject &e : entries_)
        if ((cmb_DAY->currentIndex() <= 0 || dayOf(e) == cmb_DAY->currentText()) &&
            (cmb_ACTION->currentIndex() <= 0 ||
             e.value(QStringLiteral("action")).toString() == cmb_ACTION->currentText()))
            out << e;
    return out;
}

void AuditWindow::fill() {
    const QList<QJsonObject> rows = shown();
    const QStringList columns = auditColumns();
    tbl_AUDIT->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns.size(); ++c)
            tbl_AUDIT->setItem(r, c, new QTableWidgetItem(rows[r].value(columns[c]).toString()));
    tbl_AUDIT->resizeColumnsToContents();
}

void AuditWindow::btn_EXPORT_Click() {
    writeChosenFile(QStringLiteral("Export Audit Trail"), QStringLiteral("CSV files (*.csv)"),
                    [this](const QString &path) {
                        QFile file(path);
                        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                            file.write(auditCsv(shown()).toUtf8()) < 0 || !file.flush())
                            return file.errorString();
                        return QString();
                    });
}

} // namespace zor
