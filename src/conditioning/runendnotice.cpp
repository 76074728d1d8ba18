#include "conditioning/runendnotice.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

RunEndNotice::RunEndNotice() {
    setObjectName(QStringLiteral("frm_run_end"));
    setWindowTitle(QStringLiteral("Run Ended"));
    auto *box = new QVBoxLayout(this);
    lbl_ENDED = new QLabel(this);
    lbl_REPORT = new QLabel(this);
    lbl_ENDED->setObjectName(QStringLiteral("lbl_ENDED"));
    lbl_REPORT->setObjectName(QStringLiteral("lbl_REPORT"));
    lbl_REPORT->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel *l : {lbl_ENDED, lbl_REPORT}) {
        l->setWordWrap(true);
        box->addWidget(l);
    }
    auto *buttons = new QHBoxLayout;
    btn_OPEN = new QPushButton(QStringLiteral("Open"), this);
    btn_CLOSE = new QPushButton(QStringLiteral("Close"), this);
    btn_OPEN->setObjectName(QStringLiteral("btn_OPEN"));
    btn_CLOSE->setObjectName(QStringLiteral("btn_CLOSE"));
    buttons->addStretch();
    buttons->addWidget(btn_OPEN);
    buttons->addWidget(btn_CLOSE);
    box->addLayout(buttons);
    setMinimumWidth(420);
    openDocument = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    connect(btn_OPEN, &QPushButton::clicked, this, &RunEndNotice::btn_OPEN_Click);
    connect(btn_CLOSE, &QPushButton::clicked, this, &QWidget::close);
}

void RunEndNotice::tell(const QString &what, const QString &report) {
    report_ = report;
    QFile file(report.endsWith(QLatin1String(".pdf")) ? report.chopped(4) + QStringLiteral(".json")
                                                      : QString());
    const QString verdict = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())
                                                                 .object()
                                                                 .value(QLatin1String("verdict"))
                                                                 .toString()
                                                           : QString();
    lbl_ENDED->setText(QStringLiteral("%1: %2").arg(what, verdict));
    lbl_REPORT->setText(report.isEmpty()
                            ? QStringLiteral("The report could not be written.")
                            : QStringLiteral("Report: %1").arg(QDir::toNativeSeparators(report)));
    btn_OPEN->setEnabled(!report.isEmpty());
    show();
    raise();
}

void RunEndNotice::btn_OPEN_Click() {
    if (openDocument(QUrl::fromLocalFile(report_)))
        close();
    else
        lbl_REPORT->setText(
            QStringLiteral("No viewer opened %1.").arg(QDir::toNativeSeparators(report_)));
}

} // namespace zor
