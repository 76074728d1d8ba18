#pragma once

#include "ui/formregistry.h"

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace zor {

class TrafficTrace;

// "Traffic Trace": the link's last exchanges for service staff, with pause,
// clear, a filter on the payload sent, copy and save.
class TraceWindow : public Form {
    Q_OBJECT
public:
    explicit TraceWindow(TrafficTrace &trace);

    QLineEdit *txt_FILTER;
    QPushButton *btn_PAUSE;
    QPushButton *btn_CLEAR;
    QPushButton *btn_COPY;
    QPushButton *btn_SAVE;
    QTableView *lst_TRACE;

    void btn_COPY_Click();
    void btn_SAVE_Click();

private:
    // The selected rows, or every row the filter shows when none is selected.
    // The selected rows, or every row shown when none is selected or asked for.
    QString shownText(bool selectionOnly = true) const;
    // Widens the columns, never narrows them, to what rows first..last show.
    void fitColumns(int first, int last);

    TrafficTrace &trace_;
    QSortFilterProxyModel *filter_;
};

} // namespace zor
