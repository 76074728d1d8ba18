#include "trend/eventlogwindow.h"

#include "records/eventlog.h"
#include "trend/savebox.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

EventLogWindow::EventLogWindow(EventLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window), log_(log) {
    setObjectName(QStringLiteral("frm_EVENTLOG"));
    setWindowTitle(QStringLiteral("Event Log"));
    resize(560, 420);
    txt_EVENTS = new QPlainTextEdit;
    txt_EVENTS->setObjectName(QStringLiteral("txt_EVENTS"));
    txt_EVENTS->setReadOnly(true);
    txt_EVENTS->setLineWrapMode(QPlainTextEdit::NoWrap);
    btn_SAVE = new QPushButton(QStringLiteral("Save..."));
    btn_SAVE->setObjectName(QStringLiteral("btn_SAVE"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_SAVE);
    auto *box = new QVBoxLayout(this);
    box->addWidget(txt_EVENTS, 1);
    box->addLayout(buttons);

    for (const EventLog::Entry &e : log.entries())
        txt_EVENTS->appendPlainText(EventLog::line(e));
    connect(&log, &EventLog::added, this,
            [this](const EventLog::Entry &e) { txt_EVENTS->appendPlainText(EventLog::line(e)); });
    connect(btn_SAVE, &QPushButton::clicked, this, &EventLogWindow::btn_SAVE_Click);
}

void EventLogWindow::btn_SAVE_Click() {
    writeChosenFile(QStringLiteral("Save Event Log"), QStringLiteral("Text files (*.txt)"),
                    [this](const QString &path) { return log_.saveTo(path); });
}

} // namespace zor
