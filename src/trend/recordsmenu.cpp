#include "trend/recordsmenu.h"

#include "platform/dialogs.h"
#include "trend/eventlogwindow.h"
#include "trend/trendwindow.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

namespace zor {

namespace {

QAction *entry(QMenu *menu, const char *name, const QString &text) {
    QAction *a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

} // namespace

RecordsMenu::RecordsMenu(Records &records, const SupplyState &state, QMenu *menu, QStatusBar *bar,
                         QWidget *owner)
    : QObject(owner), records_(records), state_(state), owner_(owner) {
    menu->addSeparator();
    mnu_TREND = entry(menu, "mnu_TREND", QStringLiteral("Trend..."));
    mnu_EVENTLOG = entry(menu, "mnu_EVENTLOG", QStringLiteral("Event Log..."));
    mnu_LOGFILE = entry(menu, "mnu_LOGFILE", QStringLiteral("Log to File..."));
    mnu_LOGSTOP = entry(menu, "mnu_LOGSTOP", QStringLiteral("Stop Logging"));
    mnu_LOGSTOP->setEnabled(false);
    lbl_LOGGING = new QLabel;
    lbl_LOGGING->setObjectName(QStringLiteral("lbl_LOGGING"));
    // Its room is kept from the start, so the window does not widen when a
    // log begins; a longer name is cut in the middle (the tip holds the path).
    lbl_LOGGING->setFixedWidth(
        lbl_LOGGING->fontMetrics().horizontalAdvance(QStringLiteral("LOG: run-2026-12-31.csv")));
    bar->addPermanentWidget(lbl_LOGGING);

    connect(mnu_TREND, &QAction::triggered, this, &RecordsMenu::mnu_TREND_Click);
    connect(mnu_EVENTLOG, &QAction::triggered, this, &RecordsMenu::mnu_EVENTLOG_Click);
    connect(mnu_LOGFILE, &QAction::triggered, this, &RecordsMenu::mnu_LOGFILE_Click);
    connect(mnu_LOGSTOP, &QAction::triggered, this, &RecordsMenu::stopLogging);
    connect(&records_.dataLog, &DataLog::activeChanged, this, &RecordsMenu::loggingChanged);
    connect(&records_.dataLog, &DataLog::failed, this, [this](const QString &message) {
        // The sample arrives at the end of a poll cycle: the box opens after it,
        // so the poll is never held inside its own step.
        QTimer::singleShot(0, this,
                           [message] { dialogs().message(message, {}, Dialogs::Icon::Warning); });
    });
    // After the records have taken the sample: they were connected first.
    connect(&state, &SupplyState::sampled, this, [this] {
        if (trend_)
            trend_->sampleAdded();
    });
}

QString RecordsMenu::startLogging(const QString &path) {
    // The event file first, so that it opens with the start of logging.
    records_.events.attach(path + QStringLiteral(".events.txt"));
    const QString error = records_.dataLog.start(path);
    if (!error.isEmpty())
        records_.events.detach();
    return error;
}

void RecordsMenu::stopLogging() {
    records_.dataLog.stop();
}

void RecordsMenu::loggingChanged(bool on, const QString &path) {
    records_.events.note(EventType::Logging, on ? QStringLiteral("Logging to %1").arg(path)
                                                : QStringLiteral("Logging stopped"));
    if (!on)
        records_.events.detach();
    mnu_LOGSTOP->setEnabled(on);
    lbl_LOGGING->setText(on ? lbl_LOGGING->fontMetrics().elidedText(
                                  QStringLiteral("LOG: ") + QFileInfo(path).fileName(),
                                  Qt::ElideMiddle, lbl_LOGGING->width())
                            : QString());
    lbl_LOGGING->setToolTip(on ? path : QString());
}

void RecordsMenu::logTo(const QString &path) {
    const QString error = startLogging(path);
    if (!error.isEmpty())
        dialogs().message(QStringLiteral("Could not log to %1: %2").arg(path, error));
}

void RecordsMenu::mnu_LOGFILE_Click() {
    // A dated name is offered, so a log is never written over by accident.
    const QString suggested = QDir::home().filePath(
        QDateTime::currentDateTime().toString(QStringLiteral("'zor-log-'yyyy-MM-dd-HHmm'.csv'")));
    const QString path = dialogs().saveFile(QStringLiteral("Log to File"),
                                            QStringLiteral("CSV files (*.csv)"), suggested);
    if (!path.isEmpty())
        logTo(path);
}

TrendWindow &RecordsMenu::trend() {
    if (!trend_) {
        trend_ = new TrendWindow(records_.history, owner_);
        trend_->unitText = [this] {
            const QString model = state_.identity(IdentityField::Model);
            const QString serial = state_.identity(IdentityField::SerialNumber);
            return model.isEmpty() && serial.isEmpty()
                       ? QString()
                       : QStringLiteral("%1   S/N %2").arg(model, serial);
        };
    }
    return *trend_;
}

EventLogWindow &RecordsMenu::eventLog() {
    if (!eventLog_)
        eventLog_ = new EventLogWindow(records_.events, owner_);
    return *eventLog_;
}

void RecordsMenu::mnu_TREND_Click() {
    trend().show();
    trend().raise();
}

void RecordsMenu::mnu_EVENTLOG_Click() {
    eventLog().show();
    eventLog().raise();
}

} // namespace zor
