#include "ui/stalemarks.h"

#include "supply/supplystate.h"

#include <QEvent>
#include <QGraphicsColorizeEffect>
#include <QWidget>

namespace zor {

namespace {

const char *LiveTip = "zorLiveToolTip";

std::function<QDateTime()> &clock() {
    static std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    return now;
}

} // namespace

StaleMarks::StaleMarks(const SupplyState &state, QObject *parent)
    : QObject(parent), since_(state.staleSince()) {
    connect(&state, &SupplyState::staleChanged, this, &StaleMarks::show);
}

void StaleMarks::setClock(std::function<QDateTime()> now) {
    clock() = std::move(now);
}

QString StaleMarks::ageText(const QDateTime &since, const QDateTime &now) {
    return QStringLiteral("Stale: no reply from the supply for %1 s (since %2)")
        .arg(std::max<qint64>(0, since.secsTo(now)))
        .arg(since.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
}

void StaleMarks::add(std::initializer_list<QWidget *> widgets) {
    for (QWidget *w : widgets) {
        w->setProperty(LiveTip, w->toolTip());
        w->installEventFilter(this);
        widgets_.emplace_back(w);
        mark(w);
    }
}

void StaleMarks::show(const std::optional<QDateTime> &since) {
    since_ = since;
    for (const QPointer<QWidget> &w : widgets_)
        if (w)
            mark(w);
}

void StaleMarks::mark(QWidget *w) {
    const QString live = w->property(LiveTip).toString();
    w->setProperty("stale", stale());
    if (!stale()) {
        w->setGraphicsEffect(nullptr);
        w->setToolTip(live);
        return;
    }
    if (!w->graphicsEffect()) {
        auto *grey = new QGraphicsColorizeEffect(w);
        grey->setColor(Qt::gray);
        w->setGraphicsEffect(grey);
    }
    const QString age = ageText(*since_, clock()());
    w->setToolTip(live.isEmpty() ? age : live + QLatin1Char('\n') + age);
}

bool StaleMarks::eventFilter(QObject *watched, QEvent *event) {
    // The age is told as it is when the tip opens.
    if (event->type() == QEvent::ToolTip && stale())
        mark(static_cast<QWidget *>(watched));
    return QObject::eventFilter(watched, event);
}

} // namespace zor
