#include "conditioning/seasoningpage.h"

#include "conditioning/runendnotice.h"
#include "conditioning/seasoningrunwindow.h"
#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/formregistry.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace zor {

using namespace runs;

namespace {

const QString ScalingNotSet = QStringLiteral("Please Set Unit Scaling!");

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
    : QDialog(nullptr), ctx_(ctx), shell_(shell),
      engine_(
          ctx.ops, Timer_Season,
          [this](int row, QString *fault) { return SetKvandmA(qint16(row), fault); }, this),
      recorder_(ctx.state, ctx.link, runs::defaultRunFolder(), {}, this) {
    recorder_.watch(ctx.ops);
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
    btn_openSchedule = new QPushButton(QStringLiteral("Open Schedule..."), this);
    btn_saveSchedule = new QPushButton(QStringLiteral("Save Schedule..."), this);
    for (QPushButton *b : {btn_openSchedule, btn_saveSchedule})
        b->setAutoDefault(false);
    btn_openSchedule->setObjectName(QStringLiteral("btn_openSchedule"));
    btn_saveSchedule->setObjectName(QStringLiteral("btn_saveSchedule"));
    lbl_adaptive = new QLabel(this);
    lbl_adaptive->setObjectName(QStringLiteral("lbl_adaptive"));
    lbl_adaptive->setWordWrap(true);
    lbl_adaptive->hide();
    grid->addWidget(lbl_adaptive, StepRows + 3, 0, 1, 4);
    grid->addWidget(btn_openSchedule, StepRows + 2, 0, 1, 2);
    grid->addWidget(btn_saveSchedule, StepRows + 2, 2, 1, 2);
    const runs::RunLabels labels =
        runs::rememberedLabels(ctx_.state.identity(IdentityField::SerialNumber));
    const std::pair<const char *, QLineEdit **> fields[] = {
        {"Tube", &txt_tube}, {"Operator", &txt_operator}, {"Customer", &txt_customer}};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(fields[i].first), this), StepRows + 4 + i,
                        0);
        *fields[i].second = new QLineEdit(this);
        grid->addWidget(*fields[i].second, StepRows + 4 + i, 1, 1, 3);
    }
    txt_tube->setObjectName(QStringLiteral("txt_tube"));
    txt_operator->setObjectName(QStringLiteral("txt_operator"));
    txt_customer->setObjectName(QStringLiteral("txt_customer"));
    txt_tube->setText(labels.tube);
    txt_operator->setText(labels.operatorName);
    txt_customer->setText(labels.customer);
    txt_operator->setPlaceholderText(QStringLiteral("optional"));
    txt_customer->setPlaceholderText(QStringLiteral("optional"));
    connect(btn_openSchedule, &QPushButton::clicked, this, &SeasoningPage::openSchedule);
    connect(btn_saveSchedule, &QPushButton::clicked, this, &SeasoningPage::saveSchedule);
    connect(Command1, &QPushButton::clicked, this, &SeasoningPage::Command1_Click);
    connect(&Timer_Season, &Timer::tick, this, &SeasoningPage::Timer_Season_Timer);
    connect(&engine_, &runs::SeasoningEngine::progress, this, &SeasoningPage::showProgress);
    connect(&engine_, &runs::SeasoningEngine::stepStarted, this, &SeasoningPage::stepStarted);
    connect(&engine_, &runs::SeasoningEngine::ended, this, &SeasoningPage::ended);
    connect(&engine_, &runs::SeasoningEngine::decided, this,
            [this](const runs::DecisionNote &note) { recorder_.decision(note.json()); });
    connect(&engine_, &runs::SeasoningEngine::adaptiveState, this, &SeasoningPage::showAdaptive);
    Form_Load();
}

void SeasoningPage::Form_Load() {
    // The default schedule runs its steps' times whatever the tube does.
    adaptive_.reset();
    lbl_adaptive->hide();
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

bool SeasoningPage::blankRow(int row) const {
    return row > 0 && row < FinalRow && combo_kv[row]->currentText().trimmed().isEmpty() &&
           combo_ma[row]->currentText().trimmed().isEmpty() &&
           combo_time[row]->currentText().trimmed().isEmpty();
}

std::optional<QString> SeasoningPage::scheduleFault() const {
    for (int row = 0; row < StepRows; ++row)
        if (auto fault = blankRow(row) ? std::nullopt : rowFault(row))
            return fault;
    return std::nullopt;
}

QStringList SeasoningPage::stepsBeyondFullScale() const {
    QStringList kv, ma;
    for (int row = 0; row < FinalRow; ++row) {
        kv << combo_kv[row]->currentText();
        ma << combo_ma[row]->currentText();
    }
    return runs::stepsBeyondFullScale(kv, ma, ctx_.state.kvPerBit(), ctx_.state.maPerBit());
}

std::optional<runs::SeasonStep> SeasoningPage::SetKvandmA(const qint16 &step,
                                                          QString *fault) const {
    if (step < 0 || step >= StepRows || blankRow(step))
        return std::nullopt;
    if (const auto why = rowFault(step)) {
        *fault = *why;
        return std::nullopt;
    }
    const QString kv = combo_kv[step]->currentText(), ma = combo_ma[step]->currentText();
    return runs::SeasonStep{decimalNumber(kv).value_or(0), decimalNumber(ma).value_or(0),
                            *wholeSecondsFrom(combo_time[step]->currentText()),
                            *stepCount(kv, ctx_.state.kvPerBit()),
                            *stepCount(ma, ctx_.state.maPerBit())};
}

void SeasoningPage::Command1_Click() {
    // An off asked for while a box below is open cancels the start.
    const quint64 offSeen = ctx_.ops.offAsked();
    if (const QString owner = ctx_.state.runOwner();
        !owner.isEmpty() && owner != runs::SeasoningEngine::Owner) {
        dialogs().message(owner +
                          QStringLiteral(" is going. Stop it before starting another run."));
        return;
    }
    // A scale from before a port change belongs to another unit.
    if (!ctx_.state.scaleKnown() || !scaleIsSet(ctx_.state.kvPerBit()) ||
        !scaleIsSet(ctx_.state.maPerBit())) {
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
        // Enter must not start a run past the unit's rating: Cancel is the default.
        if (dialogs().ask(question, {QStringLiteral("OK"), QStringLiteral("Cancel")},
                          windowTitle()) != 0)
            return;
    }
    if (ctx_.ops.offAsked() != offSeen) {
        dialogs().message(QStringLiteral("X-ray off was pressed: the schedule was not started."));
        return;
    }
    const QString serial = ctx_.state.identity(IdentityField::SerialNumber);
    const runs::RunLabels labels{txt_tube->text().trimmed(), txt_operator->text().trimmed(),
                                 txt_customer->text().trimmed()};
    runs::rememberLabels(serial, labels);
    recorder_.begin(QStringLiteral("seasoning"),
                    QJsonDocument::fromJson(scheduleJson(schedule())).object(), labels);
    engine_.setAdaptive(adaptive_);
    engine_.start(offSeen);
    hide();
    // The X-ray off key may have stopped the run while the start's commands
    // waited for their replies: then there is no run to show.
    if (!running())
        return;
    SeasoningRunWindow &run = ctx_.forms.get<SeasoningRunWindow>(ctx_, shell_);
    run.txt_step1->setText(QString::number(stepIndex() + 1));
    run.txt_time->setText(QString::number(stepTimeLeft()));
    QStringList steps;
    for (int row = 0; adaptive_ && row < FinalRow && !blankRow(row); ++row)
        steps << QStringLiteral("Step %1: %2 kV, %3 mA, %4 s")
                     .arg(row + 1)
                     .arg(combo_kv[row]->currentText(), combo_ma[row]->currentText(),
                          combo_time[row]->currentText());
    run.showSteps(steps);
    if (adaptive_)
        run.showAdaptive(stepIndex(), runs::AdaptiveView{});
    run.show();
}

void SeasoningPage::showProgress(int step, int secondsLeft) {
    if (SeasoningRunWindow *run = ctx_.forms.find<SeasoningRunWindow>()) {
        run->txt_step1->setText(QString::number(step));
        run->txt_time->setText(QString::number(secondsLeft));
    }
}

void SeasoningPage::showAdaptive(int row, const runs::AdaptiveView &view) {
    if (SeasoningRunWindow *run = ctx_.forms.find<SeasoningRunWindow>())
        run->showAdaptive(row, view);
}

void SeasoningPage::stepStarted(int row, const runs::SeasonStep &step) {
    if (row == FinalRow)
        recorder_.closing();
    else
        recorder_.stepStarted(row + 1, step.kv, step.ma, step.seconds);
}

void SeasoningPage::ended(runs::RunEnd end, const QString &why) {
    // The report is made on its own thread and told of once written and the
    // off and the zeros are out (a trip may end the run inside an exchange,
    // where no box may open). This page goes only then: the recorder is its.
    // When the console is ending, it closes the windows itself.
    QPointer<SeasoningPage> self(this);
    recorder_.endThenTell(end, why, this, [self, end, why](const QString &report) {
        self->ctx_.forms.get<RunEndNotice>().tell(QStringLiteral("Seasoning"), report);
        if (end == runs::RunEnd::Abandoned)
            // A schedule's own fault is a sentence; a cause is named.
            dialogs().message(why.endsWith(QLatin1Char('.'))
                                  ? why
                                  : QStringLiteral("Seasoning abandoned: %1").arg(why));
        if (self)
            self->ctx_.forms.unload(self);
    });
    if (end == runs::RunEnd::Shutdown)
        return;
    if (SeasoningRunWindow *run = ctx_.forms.find<SeasoningRunWindow>())
        ctx_.forms.unload(run);
    ctx_.forms.forget(this);
}

runs::Schedule SeasoningPage::schedule() const {
    runs::Schedule out{scheduleName_, {}, adaptive_};
    for (int row = 0; row < FinalRow && !blankRow(row); ++row)
        out.steps.push_back({decimalNumber(combo_kv[row]->currentText()).value_or(0),
                             decimalNumber(combo_ma[row]->currentText()).value_or(0),
                             wholeSecondsFrom(combo_time[row]->currentText()).value_or(0)});
    return out;
}

void SeasoningPage::loadSchedule(const runs::Schedule &schedule) {
    scheduleName_ = schedule.name;
    adaptive_ = schedule.adaptive;
    QStringList rules;
    for (const runs::AdaptiveKey &k : runs::AdaptiveKeys)
        rules << QStringLiteral("%1 %2")
                     .arg(QLatin1String(k.name))
                     .arg(adaptive_.value_or(runs::Adaptive{}).*k.field);
    lbl_adaptive->setText(QStringLiteral("Adaptive: ") + rules.join(QStringLiteral(", ")));
    lbl_adaptive->setVisible(bool(adaptive_));
    for (int row = 0; row < FinalRow; ++row) {
        const bool used = row < int(schedule.steps.size());
        const runs::ScheduleStep step = used ? schedule.steps[row] : runs::ScheduleStep{};
        combo_kv[row]->setEditText(used ? QString::number(step.kv) : QString());
        combo_ma[row]->setEditText(used ? QString::number(step.ma) : QString());
        combo_time[row]->setEditText(used ? QString::number(step.seconds) : QString());
    }
}

namespace {
const QString ScheduleFilter = QStringLiteral("Seasoning schedules (*.json)");

// The last schedule file used, else the schedules folder in the user's data.
QString scheduleOffered(const QString &name) {
    const QString last = QSettings().value(QStringLiteral("seasoning/lastSchedule")).toString();
    if (!last.isEmpty())
        return name.isEmpty() ? last : QFileInfo(last).dir().filePath(name);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                           QStringLiteral("/schedules");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}
} // namespace

void SeasoningPage::saveSchedule() {
    if (const auto fault = scheduleFault()) {
        dialogs().message(*fault);
        return;
    }
    const QString path =
        dialogs().saveFile(QStringLiteral("Save Schedule"), ScheduleFilter,
                           scheduleOffered(scheduleName_ + QStringLiteral(".json")));
    if (path.isEmpty())
        return;
    runs::Schedule s = schedule();
    s.name = QFileInfo(path).completeBaseName();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(runs::scheduleJson(s)) < 0 || !file.flush()) {
        dialogs().message(QStringLiteral("The schedule could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)));
        return;
    }
    scheduleName_ = s.name;
    QSettings().setValue(QStringLiteral("seasoning/lastSchedule"), path);
}

void SeasoningPage::openSchedule() {
    const QString path =
        dialogs().openFile(QStringLiteral("Open Schedule"), ScheduleFilter, scheduleOffered({}));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        dialogs().message(
            QStringLiteral("%1 could not be read.").arg(QDir::toNativeSeparators(path)));
        return;
    }
    const auto parsed = runs::parseSchedule(file.readAll());
    if (const auto *error = std::get_if<runs::ScheduleError>(&parsed)) {
        dialogs().message(QStringLiteral("%1 was not loaded.\n%2")
                              .arg(QDir::toNativeSeparators(path), error->text()));
        return;
    }
    loadSchedule(std::get<runs::Schedule>(parsed));
    QSettings().setValue(QStringLiteral("seasoning/lastSchedule"), path);
    // Named now, as at Start, so the operator knows before running it.
    if (const QStringList beyond = stepsBeyondFullScale(); !beyond.isEmpty())
        dialogs().message(QStringLiteral("These steps are beyond the unit's full scale and will "
                                         "be refused by the supply:\n%1")
                              .arg(beyond.join(QLatin1Char('\n'))));
}

void SeasoningPage::closeEvent(QCloseEvent *event) {
    // Closing the table must not strand a run with the voltage on and no clock
    // to end it: while one is going, the table only hides.
    if (running()) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
    ctx_.forms.unload(this);
}

} // namespace zor
