#include "shell/linkindicator.h"

#include <QEvent>

namespace zor {

LinkIndicator::LinkIndicator(LinkHealth &health, QWidget *parent)
    : QLabel(parent), health_(health) {
    setObjectName(QStringLiteral("lbl_LINKSTATE"));
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    // Sized for its longest word once, so a change never lays out the bar.
    setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("PORT LOST")) +
                  2 * fontMetrics().averageCharWidth());
    connect(&health, &LinkHealth::changed, this, &LinkIndicator::render);
    render(health.state());
}

QColor LinkIndicator::colour(LinkHealth::State state) {
    switch (state) {
    case LinkHealth::State::Answering:
        return QColor(0x00, 0xC0, 0x00);
    case LinkHealth::State::Failing:
    case LinkHealth::State::PortLost:
        return QColor(0xFF, 0x00, 0x00);
    case LinkHealth::State::NoLink:
        break;
    }
    return QColor(0xA0, 0xA0, 0xA0);
}

bool LinkIndicator::event(QEvent *event) {
    // The last good reply changes with every exchange: its time is written
    // when the tip is about to show, not on each reply.
    if (event->type() == QEvent::ToolTip)
        describe(health_.state());
    return QLabel::event(event);
}

void LinkIndicator::describe(LinkHealth::State state) {
    const QDateTime last = health_.lastGoodReply();
    const QString when = last.isValid() ? last.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                        : QStringLiteral("none yet");
    static const char *const words[] = {"No link", "Supply answering", "Replies failing",
                                        "Port lost"};
    setToolTip(QStringLiteral("%1\nLast good reply: %2")
                   .arg(QLatin1String(words[static_cast<int>(state)]), when));
}

void LinkIndicator::render(LinkHealth::State state) {
    describe(state);
    if (shown_ == state)
        return;
    shown_ = state;
    static const char *const faces[] = {"NO LINK", "LINK", "NO REPLY", "PORT LOST"};
    setText(QLatin1String(faces[static_cast<int>(state)]));
    QPalette p = palette();
    p.setColor(QPalette::Window, colour(state));
    setPalette(p);
}

} // namespace zor
