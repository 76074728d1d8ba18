#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace zor {

class SupplyState;

// Draws what a window shows of the supply as stale while the supply is silent:
// from the first failed exchange until a good reply the marked fields and lamps
// are greyed, and their tool tips tell since when nothing came.
class StaleMarks : public QObject {
    Q_OBJECT
public:
    StaleMarks(const SupplyState &state, QObject *parent);

    void add(std::initializer_list<QWidget *> widgets);
    bool stale() const { return since_.has_value(); }
    // The tool tip line of a field stale since `since`, seen at `now`.
    static QString ageText(const QDateTime &since, const QDateTime &now);
    // Tests stand the clock still.
    static void setClock(std::function<QDateTime()> clock);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show(const std::optional<QDateTime> &since);
    void mark(QWidget *w);

    std::vector<QPointer<QWidget>> widgets_;
    std::optional<QDateTime> since_;
};

} // namespace zor
