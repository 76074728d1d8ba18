#pragma once

#include "link/linkhealth.h"

#include <QLabel>
#include <optional>

namespace zor {

// The status bar's sign whether the supply answers: grey without a link,
// green while it answers, red while its replies fail; the tool tip gives the
// time of the last good reply.
class LinkIndicator : public QLabel {
    Q_OBJECT
public:
    LinkIndicator(LinkHealth &health, QWidget *parent);

    static QColor colour(LinkHealth::State state);

protected:
    bool event(QEvent *event) override;

private:
    void render(LinkHealth::State state);
    void describe(LinkHealth::State state);

    LinkHealth &health_;
    std::optional<LinkHealth::State> shown_;
};

} // namespace zor
