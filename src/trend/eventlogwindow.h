#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace zor {

class EventLog;

// The events so far, newest at the bottom, and a button that saves them.
class EventLogWindow : public QWidget {
    Q_OBJECT
public:
    explicit EventLogWindow(EventLog &log, QWidget *parent = nullptr);

    QPlainTextEdit *txt_EVENTS;
    QPushButton *btn_SAVE;
    void btn_SAVE_Click();

private:
    EventLog &log_;
};

} // namespace zor
