#pragma once

#include "records/records.h"

#include <QObject>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QWidget;

namespace zor {

class EventLogWindow;
class TrendWindow;

// The menu entries that show what the console keeps of the supply (the
// records, the shell's): the trend, the event log and the opt-in data log.
// Nothing here sends to the supply.
class RecordsMenu : public QObject {
    Q_OBJECT
public:
    // Appends its entries after a separator at the end of menu; the log
    // indicator sits in bar. Windows open as children of owner.
    RecordsMenu(Records &records, const SupplyState &state, QMenu *menu, QStatusBar *bar,
                QWidget *owner);

    QAction *mnu_TREND;
    QAction *mnu_EVENTLOG;
    QAction *mnu_LOGFILE;
    QAction *mnu_LOGSTOP;
    QLabel *lbl_LOGGING;

    // Starts the data log and its event file beside it; the reason when it cannot.
    QString startLogging(const QString &path);
    void stopLogging();
    // Starts logging, or says in a box why it cannot.
    void logTo(const QString &path);

    void mnu_TREND_Click();
    void mnu_EVENTLOG_Click();
    void mnu_LOGFILE_Click();

    TrendWindow &trend();
    EventLogWindow &eventLog();

private:
    void loggingChanged(bool on, const QString &path);

    Records &records_;
    const SupplyState &state_;
    QWidget *owner_;
    QPointer<TrendWindow> trend_;
    QPointer<EventLogWindow> eventLog_;
};

} // namespace zor
