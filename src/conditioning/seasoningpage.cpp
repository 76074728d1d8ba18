#include "conditioning/seasoningpage.h"

#include "conditioning/seasoningrunwindow.h"
#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/formregistry.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>

namespace zor {

using namespace conditioning;

namespace {

const QString ScalingNotSet = QStringLiteral("Please Set Unit Scaling!");
// The largest count a 12-bit setpoint channel holds.
constexpr qint16 FullScaleCount = 4095;

QLineEdit *cell(QWidget *parent, const QString &text) {
    auto *edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignCenter);
    return edit;
}

QComboBox *list(QWidget *parent, const char *name, int row) {
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(row));
    combo->setEditable(true);
    // A typed value is used as it stands; it does not join the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

void select(QComboBox *combo, const char *text) {
    const QString wanted = QString::fromLatin1(text);
    const int index = combo->findText(wanted);
    if (index >= 0)
        combo->setCurrentIndex(index);
    else
        combo->setEditText(wanted);
}

// Why one kV or mA text cannot be programmed, or nothing when it can.
std::optional<QString> settingFault(int row, const QString &text, double perBit, const char *unit) {
    const auto value = decimalNumber(text);
    if (!value || *value < 0.0)
        return QStringLiteral("Step %1: \"%2\" is not a valid %3 setting. Enter a number of 0 or "
                              "more.")
            .arg(row + 1)
            .arg(text, QLatin1String(unit));
    if (*value != 0.0 && !scaleIsSet(perBit))
        return ScalingNotSet;
    if (!stepCount(text, perBit))
        return QStringLiteral("Step %1: %2 %3 is beyond what the supply can be set to.")
            .arg(row + 1)
            .arg(text.trimmed(), QLatin1String(unit));
    return std::nullopt;
}

} // namespace

SeasoningPage::SeasoningPage(ConsoleContext ctx, ShellActions &shell)
    : QDialog(nullptr), ctx_(ctx), shell_(shell) {
    setObjectName(QStringLiteral("frm_seasoning"));
    setWindowTitle(QStringLiteral("Seansoning Profile"));
    auto *grid = new QGridLayout(this);
    const char *headings[] = {"Step", "kV", "mA", "Time"};
    for (int i = 0; i < 4; ++i) {
        Text1[20 + i] = cell(this, QString::fromLatin1(headings[i]));
        grid->addWidget(Text1[20 + i], 0, i);
    }
    for (int row = 0; row < StepRows; ++row) {
        Text1[row] = cell(this, QString::number(row + 1));
        combo_kv[row] = list(this, "combo_kv", row);
        combo_ma[row] = list(this, "combo_ma", row);
        combo_time[row] = list(this, "combo_time", row);
        grid->addWidget(Text1[row], row + 1, 0);
        grid->addWidget(combo_kv[row], row + 1, 1);
        grid->addWidget(combo_ma[row], row + 1, 2);
        grid->addWidget(combo_time[row], row + 1, 3);
    }
    for (QWidget *hidden :
         {static_cast<QWidget *>(Text1[FinalRow]), static_cast<QWidget *>(combo_kv[FinalRow]),
          static_cast<QWidget *>(combo_ma[FinalRow]), static_cast<QWidget *>(combo_time[FinalRow])})
        hidden->hide();
    Command1 = new QPushButton(QStringLiteral("Start Season"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    // Enter in a list's text must not start the high voltage.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    grid->addWidget(Command1, StepRows + 1, 0, 1, 4);
    connect(Command1, &QPushButton::clicked, this, &SeasoningPage::Command1_Click);
    connect(&Timer_Season, &Timer::tick, this, &SeasoningPage::Timer_Season_Timer);
    Form_Load();
}

void SeasoningPage::Form_Load() {
    const QStringList kv = kvEntries();
    const QStringList ma = maEntries();
    const QStringList time = timeEntries();
    for (int row = 0; row < StepRows; ++row) {
        combo_kv[row]->clear();
        combo_kv[row]->addItems(kv);
        combo_ma[row]->clear();
        combo_ma[row]->addItems(ma);
        combo_time[row]->clear();
        combo_time[row]->addItems(time);
        select(combo_kv[row], DefaultSchedule[row].kv);
        select(combo_ma[row], DefaultSchedule[row].ma);
        select(combo_time[row], DefaultSchedule[row].time);
    }
}

std::optional<QString> SeasoningPage::rowFault(int row) const {
    const QString time = combo_time[row]->currentText();
    if (!wholeSecondsFrom(time))
        return QStringLiteral("Step %1: \"%2\" is not a valid time. Enter whole seconds from 0 "
                              "to 32767.")
            .arg(row + 1)
            .arg(time);
    if (auto fault = settingFault(row, combo_kv[row]->currentText(), ctx_.state.kvPerBit(), "kV"))
        return fault;
    return settingFault(row, combo_ma[row]->currentText(), ctx_.state.maPerBit(), "mA");
}

std::optional<QString> SeasoningPage::scheduleFault() const {
    for (int row = 0; row < StepRows; ++row)
        if (auto fault = rowFault(row))
            return fault;
    return std::nullopt;
}

QStringList SeasoningPage::stepsBeyondFullScale() const {
    QStringList out;
    for (int row = 0; row < FinalRow; ++row) {
        const QString kv = combo_kv[row]->currentText().trimmed();
        const QString ma = combo_ma[row]->currentText().trimmed();
        QStringList over;
        if (stepCount(kv, ctx_.state.kvPerBit()).value_or(0) > FullScaleCount)
            over << kv + QStringLiteral(" kV");
        if (stepCount(ma, ctx_.state.maPerBit()).value_or(0) > FullScaleCount)
            over << ma + QStringLiteral(" mA");
        if (!over.isEmpty())
            out << QStringLiteral("Step %1: %2").arg(row + 1).arg(over.join(QStringLiteral(", ")));
    }
    return out;
}

bool SeasoningPage::SetKvandmA(const qint16 &step) {
    if (step < 0 || step >= StepRows)
        return false;
    // The texts are read now, when the step starts; a late edit cannot change
    // what a step that is already going out sends.
    const auto kv = stepCount(combo_kv[step]->currentText(), ctx_.state.kvPerBit());
    const auto ma = stepCount(combo_ma[step]->currentText(), ctx_.state.maPerBit());
    if (!kv || !ma)
        return false;
    DeviceLink *link = &ctx_.link;
    QPointer<SeasoningPage> self(this);
    // The closing zeros always go out; a step's setpoints only while the run
    // that asked for them is still going when their turn comes. Owned by the
    // link, so unloading this page cannot drop the zeros.
    const bool zeroing = step == FinalRow;
    const quint64 id = runId_;
    link->command(link, [link, self, zeroing, id, kv = *kv, ma = *ma]() -> Task<> {
        // Asked again after each reply: a stop while one waited (the X-ray off
        // key) ends the step there, and its own zeros follow.
        const auto wanted = [&] {
            return zeroing || (self && self->running_ && self->runId_ == id);
        };
        // The current goes to zero before the voltage moves, and back after it.
        for (const QByteArray &payload :
             {QByteArray("IREF 0;"), "VREF " + QByteArray::number(kv) + ';',
              "IREF " + QByteArray::number(ma) + ';'}) {
            if (!wanted())
                co_return;
            co_await link->exchange(payload);
        }
    });
    return true;
}

void SeasoningPage::Command1_Click() {
    if (!scaleIsSet(ctx_.state.kvPerBit()) || !scaleIsSet(ctx_.state.maPerBit())) {
        dialogs().message(ScalingNotSet);
        return;
    }
    if (const auto fault = scheduleFault()) {
        dialogs().message(*fault);
        return;
    }
    if (const QStringList beyond = stepsBeyondFullScale(); !beyond.isEmpty()) {
        const QString question =
            QStringLiteral("These steps are beyond the unit's full scale of %1 kV, %2 mA and "
                           "will be refused by the supply:\n%3\n\nRun the schedule anyway?")
                .arg(QLocale::c().toString(FullScaleCount * ctx_.state.kvPerBit(), 'g', 5),
                     QLocale::c().toString(FullScaleCount * ctx_.state.maPerBit(), 'g', 5),
                     beyond.join(QLatin1Char('\n')));
        if (!dialogs().confirm(question, windowTitle()))
            return;
    }
    Timer_Season.setEnabled(false);
    running_ = true;
    const quint64 id = ++runId_;
    stepIndex = 0;
    stepTimeLeft = wholeSecondsFrom(combo_time[0]->currentText()).value_or(0);

    QPointer<SeasoningPage> self(this);
    SupplyOps *ops = &ctx_.ops;
    const quint64 offSeen = ctx_.state.offAsked();
    ctx_.link.command(&ctx_.link, [self, ops, id, offSeen]() -> Task<> {
        // A run stopped before this came round must not switch the voltage on.
        if (self && self->running_ && self->runId_ == id &&
            !co_await ops->runHighVoltage(true, offSeen) && self && self->running_ &&
            self->runId_ == id)
            self->stopRun();
    });
    ctx_.state.note(QStringLiteral("Seasoning started"));
    SetKvandmA(stepIndex);
    resumeTicking();

    hide();
    // The X-ray off key may have stopped the run while the start's commands
    // waited for their replies: then there is no run to show.
    if (!running_ || runId_ != id)
        return;
    SeasoningRunWindow &run = ctx_.forms.get<SeasoningRunWindow>(ctx_, shell_);
    run.txt_step1->setText(QString::number(stepIndex + 1));
    run.txt_time->setText(QString::number(stepTimeLeft));
    run.show();
}

void SeasoningPage::resumeTicking() {
    QPointer<SeasoningPage> self(this);
    const quint64 id = runId_;
    // Queued behind the step's setpoint commands when those had to wait for
    // another exchange, so ticks never overlap a step's programming.
    ctx_.link.command(&ctx_.link, [self, id]() -> Task<> {
        if (self && self->running_ && self->runId_ == id)
            self->Timer_Season.setEnabled(true);
        co_return;
    });
}

void SeasoningPage::showProgress() {
    if (SeasoningRunWindow *run = ctx_.forms.find<SeasoningRunWindow>()) {
        run->txt_step1->setText(QString::number(stepIndex + 1));
        run->txt_time->setText(QString::number(stepTimeLeft));
    }
}

void SeasoningPage::Timer_Season_Timer() {
    if (!running_) {
        Timer_Season.setEnabled(false);
        return;
    }
    showProgress();
    if (stepTimeLeft > 0)
        --stepTimeLeft;
    if (stepTimeLeft != 0)
        return;
    Timer_Season.setEnabled(false);
    ++stepIndex;
    if (stepIndex > FinalRow) {
        endRun(false);
        return;
    }
    // A row edited into something unusable while the run was going ends the
    // run safely rather than leaving the last step's setpoints on.
    if (const auto fault = rowFault(stepIndex)) {
        abandonRun(*fault);
        return;
    }
    stepTimeLeft = wholeSecondsFrom(combo_time[stepIndex]->currentText()).value_or(0);
    // The closing row is hidden: it is no step the operator set.
    ctx_.state.note(stepIndex == FinalRow ? QStringLiteral("Seasoning closing: setpoints to zero")
                                          : QStringLiteral("Seasoning step %1").arg(stepIndex + 1));
    SetKvandmA(stepIndex);
    resumeTicking();
}

void SeasoningPage::stopRun() {
    endRun(true);
}

void SeasoningPage::endRun(bool zeroSetpoints) {
    halt();
    ctx_.state.note(zeroSetpoints ? QStringLiteral("Seasoning stopped")
                                  : QStringLiteral("Seasoning finished"));
    // Off whatever the switch shows: an earlier off may have been lost.
    ctx_.ops.setHighVoltage(false);
    if (zeroSetpoints)
        SetKvandmA(FinalRow);
    if (SeasoningRunWindow *run = ctx_.forms.find<SeasoningRunWindow>())
        ctx_.forms.unload(run);
    ctx_.forms.unload(this);
}

void SeasoningPage::halt() {
    running_ = false;
    Timer_Season.setEnabled(false);
}

void SeasoningPage::abandonRun(const QString &why) {
    endRun(true);
    dialogs().message(why);
}

void SeasoningPage::closeEvent(QCloseEvent *event) {
    // Closing the table must not strand a run with the voltage on and no clock
    // to end it: while one is going, the table only hides.
    if (running_) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
    ctx_.forms.unload(this);
}

} // namespace zor
