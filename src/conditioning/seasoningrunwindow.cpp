#include "conditioning/seasoningrunwindow.h"

#include "conditioning/seasoningpage.h"
#include "link/devicelink.h"
#include "supply/supplyops.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace zor {

namespace {

QLineEdit *box(QWidget *parent, const char *name, const QString &text, bool fixed) {
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    if (fixed) {
        edit->setFrame(false);
        // A caption must show whole; a line edit's size hint ignores its text.
        const QFontMetrics metrics = edit->fontMetrics();
        const QMargins margins = edit->textMargins();
        edit->setMinimumWidth(metrics.horizontalAdvance(text) + margins.left() + margins.right() +
                              2 * metrics.averageCharWidth());
    }
    return edit;
}

} // namespace

SeasoningRunWindow::SeasoningRunWindow(ConsoleContext ctx, ShellActions &shell)
    : ctx_(ctx), shell_(shell) {
    setObjectName(QStringLiteral("frm_run_season"));
    setWindowTitle(QStringLiteral("Season"));
    auto *grid = new QGridLayout(this);
    txt_name = box(this, "txt_name", QStringLiteral("Season Profile Running"), true);
    txt_step = box(this, "txt_step", QStringLiteral("Step"), true);
    txt_step1 = box(this, "txt_step1", QString(), false);
    txt_timRemain = box(this, "txt_timRemain", QStringLiteral("Time Remaing(in seconds)"), true);
    txt_time = box(this, "txt_time", QString(), false);
    Command1 = new QPushButton(QStringLiteral("Stop"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    grid->addWidget(txt_name, 0, 0, 1, 2);
    grid->addWidget(txt_step, 1, 0);
    grid->addWidget(txt_step1, 1, 1);
    grid->addWidget(txt_timRemain, 2, 0);
    grid->addWidget(txt_time, 2, 1);
    lbl_state = new QLabel(this);
    lbl_state->setObjectName(QStringLiteral("lbl_state"));
    lst_steps = new QListWidget(this);
    lst_steps->setObjectName(QStringLiteral("lst_steps"));
    lst_steps->setSelectionMode(QAbstractItemView::SingleSelection);
    lst_steps->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(lbl_state, 3, 0, 1, 2);
    grid->addWidget(lst_steps, 4, 0, 1, 2);
    grid->addWidget(Command1, 5, 0, 1, 2);
    showSteps({});
    connect(Command1, &QPushButton::clicked, this, &SeasoningRunWindow::Command1_Click);
    // Space or Enter stops the run the moment the window comes up.
    Command1->setFocus();
    Command1->setAutoDefault(true);
}

void SeasoningRunWindow::showSteps(const QStringList &steps) {
    lst_steps->clear();
    lst_steps->addItems(steps);
    lbl_state->setVisible(!steps.isEmpty());
    lst_steps->setVisible(!steps.isEmpty());
}

void SeasoningRunWindow::showAdaptive(int row, const runs::AdaptiveView &view) {
    switch (view.phase) {
    case runs::AdaptiveView::Running:
        lbl_state->setText(QStringLiteral("Running"));
        break;
    case runs::AdaptiveView::Holding:
        lbl_state->setText(QStringLiteral("Holding: %1 arc%2 in the last %3 s")
                               .arg(view.arcs)
                               .arg(QLatin1String(view.arcs == 1 ? "" : "s"))
                               .arg(view.windowS));
        break;
    case runs::AdaptiveView::BackingOff:
        lbl_state->setText(QStringLiteral("Backing off: %1 s dwell left").arg(view.dwellLeft));
        break;
    }
    lst_steps->setCurrentRow(row < lst_steps->count() ? row : -1);
}

void SeasoningRunWindow::Command1_Click() {
    if (SeasoningPage *schedule = ctx_.forms.find<SeasoningPage>()) {
        schedule->stopRun();
        return;
    }
    // Without its schedule no run can be going; the button still means off,
    // whatever the switch shows: an earlier off may have been lost.
    ctx_.ops.setHighVoltage(false);
    ctx_.forms.unload(this);
}

} // namespace zor
