#pragma once

#include "ui/formregistry.h"

#include <QUrl>
#include <functional>

class QPushButton;
class QTableWidget;

namespace zor {

// "Run Reports": every run's report, newest first, with its date, tube,
// kind, outcome and duration; Open (or a double click) and Open Folder hand
// the report or its folder to openDocument.
class RunReportsWindow : public Form {
    Q_OBJECT
public:
    RunReportsWindow(QString folder, std::function<bool(const QUrl &)> openDocument);

    QTableWidget *tbl_REPORTS;
    QPushButton *btn_OPEN;
    QPushButton *btn_FOLDER;

    // Lists the folder again.
    void refresh();
    void btn_OPEN_Click();
    void btn_FOLDER_Click();

private:
    void open(const QString &path);

    QString folder_;
    std::function<bool(const QUrl &)> openDocument_;
    QStringList paths_;
};

} // namespace zor
