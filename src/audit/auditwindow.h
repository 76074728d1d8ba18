#pragma once

#include <QJsonObject>
#include <QList>
#include <QWidget>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace zor {

// Controls > Audit Trail...: the trail's entries, newest first, filtered by
// day and action, exported as CSV.
class AuditWindow : public QWidget {
    Q_OBJECT
public:
    explicit AuditWindow(const QString &folder, QWidget *parent = nullptr);

    QComboBox *cmb_DAY;
    QComboBox *cmb_ACTION;
    QTableWidget *tbl_AUDIT;
    QPushButton *btn_EXPORT;

    // Reads the trail again, keeping the filters where they can stay.
    void reload();
    void btn_EXPORT_Click();
    // The entries the filters let through, newest first.
    QList<QJsonObject> shown() const;

private:
    void fill();

    QString folder_;
    QList<QJsonObject> entries_; // newest first
};

} // namespace zor
