#include "userconfig/useroptionspage.h"

#include "link/devicelink.h"
#include "link/payloadtext.h"
#include "platform/counts.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "platform/numedit.h"
#include "supply/supplyops.h"
#include "userconfig/useroptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

namespace zor {

namespace {

// The supply's numbering of a check box: 0 unchecked, 1 checked, 2 grey.
QString stateText(const QCheckBox *box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return QStringLiteral("1");
    case Qt::PartiallyChecked:
        return QStringLiteral("2");
    case Qt::Unchecked:
        break;
    }
    return QStringLiteral("0");
}

QString valueText(const NumEdit *editor) {
    return QString::fromLatin1(shortestDecimal(editor->value()).value_or("0"));
}

std::optional<Qt::CheckState> checkStateFrom(const QString &text) {
    const auto value = decimalNumber(text);
    if (value == 0.0)
        return Qt::Unchecked;
    if (value == 1.0)
        return Qt::Checked;
    if (value == 2.0)
        return Qt::PartiallyChecked;
    return std::nullopt;
}

} // namespace

UserOptionsPage::UserOptionsPage(SupplyOps &ops, QWidget *parent)
    : QDialog(parent), ops_(ops), link_(ops.link()) {
    setObjectName(QStringLiteral("frm_prog_conf"));
    setWindowTitle(QStringLiteral("Form1"));
    buildLayout();
    Form_Load();
}

void UserOptionsPage::buildLayout() {
    auto *layout = new QVBoxLayout(this);
    const auto frame = [&](const char *name, const char *caption) {
        auto *box = new QGroupBox(QString::fromLatin1(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        layout->addWidget(box);
        return box;
    };
    const auto check = [](QGroupBox *owner, const char *name, const char *caption) {
        auto *box = new QCheckBox(QString::fromLatin1(caption), owner);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    const auto editor = [](QGroupBox *owner, const char *name, double low, double high, double step,
                           int decimals) {
        auto *edit = new NumEdit(owner);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setRange(low, high);
        edit->setIncrement(step);
        edit->setDecimals(decimals);
        edit->setValue(low);
        return edit;
    };

    fra_overVoltage = frame("fra_overVoltage", "OverVoltage");
    check_rov = check(fra_overVoltage, "check_rov", "ROV");
    CWNumEdit1 = editor(fra_overVoltage, "CWNumEdit1", 0, 110, 1, 0);
    auto *ov = new QGridLayout(fra_overVoltage);
    ov->addWidget(check_rov, 0, 0);
    ov->addWidget(CWNumEdit1, 0, 1);
    ov->addWidget(new QLabel(QStringLiteral("%"), fra_overVoltage), 0, 2);

    fra_rampRate = frame("fra_rampRate", "Ramp Rate");
    CWNumEdit2 = editor(fra_rampRate, "CWNumEdit2", 0.1, 60, 0.1, 1);
    auto *ramp = new QGridLayout(fra_rampRate);
    ramp->addWidget(CWNumEdit2, 0, 0);
    ramp->addWidget(new QLabel(QStringLiteral("Sec"), fra_rampRate), 0, 1);

    fra_overCurrent = frame("fra_overCurrent", "OverCurrent");
    check_aol = check(fra_overCurrent, "check_aol", "AOL");
    (new QGridLayout(fra_overCurrent))->addWidget(check_aol, 0, 0);

    fra_arc = frame("fra_arc", "ARC");
    CWNumEdit3 = editor(fra_arc, "CWNumEdit3", 0, 100, 1, 0);
    CWNumEdit4 = editor(fra_arc, "CWNumEdit4", 0, 100, 1, 0);
    CWNumEdit5 = editor(fra_arc, "CWNumEdit5", 0, 100, 1, 0);
    Check1 = check(fra_arc, "Check1", "Re-Ramp");
    Check2 = check(fra_arc, "Check2", "No Arc Detect mode");
    auto *arc = new QGridLayout(fra_arc);
    int row = 0;
    for (auto [label, edit] :
         {std::pair{"Arc Count", CWNumEdit3}, std::pair{"Arc Period(S)", CWNumEdit4},
          std::pair{"Quench Time(mS)", CWNumEdit5}}) {
        arc->addWidget(new QLabel(QString::fromLatin1(label), fra_arc), row, 0);
        arc->addWidget(edit, row++, 1);
    }
    arc->addWidget(Check1, row++, 0, 1, 2);
    arc->addWidget(Check2, row, 0, 1, 2);

    Command1 = new QPushButton(QStringLiteral("Save Parameters"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    layout->addWidget(Command1);

    // Fires for the program's changes as for the user's, and only on a real change.
    connect(check_rov, &QCheckBox::stateChanged, this, &UserOptionsPage::check_rov_Click);
    connect(check_aol, &QCheckBox::stateChanged, this, &UserOptionsPage::check_aol_Click);
    connect(Check1, &QCheckBox::stateChanged, this, &UserOptionsPage::Check1_Click);
    connect(Check2, &QCheckBox::stateChanged, this, &UserOptionsPage::Check2_Click);
    connect(CWNumEdit1, &NumEdit::valueChanged, this, &UserOptionsPage::CWNumEdit1_ValueChanged);
    connect(CWNumEdit2, &NumEdit::valueChanged, this, &UserOptionsPage::CWNumEdit2_ValueChanged);
    connect(CWNumEdit3, &NumEdit::valueChanged, this, &UserOptionsPage::CWNumEdit3_ValueChanged);
    connect(CWNumEdit4, &NumEdit::valueChanged, this, &UserOptionsPage::CWNumEdit4_ValueChanged);
    connect(CWNumEdit5, &NumEdit::valueChanged, this, &UserOptionsPage::CWNumEdit5_ValueChanged);
    connect(Command1, &QPushButton::clicked, this, &UserOptionsPage::Command1_Click);
}

QList<QString *> UserOptionsPage::members() {
    return {&optRov,       &optOvLevel,    &optRampTenths, &optAol, &optArcCount,
            &optArcPeriod, &optQuenchTime, &optReRamp,     &optNad};
}

void UserOptionsPage::Form_Load() {
    for (QString *member : members())
        *member = QStringLiteral("0");
    // The over-voltage level only counts while ROV is on.
    CWNumEdit1->setEnabled(check_rov->isChecked());
    readOptions();
}

void UserOptionsPage::readOptions() {
    link_.command(this, [this]() -> Task<> {
        const QByteArray reply = co_await ops_.userOptionsTask();
        const QList<QByteArray> fields = userconfig::optionFields(reply);
        const QList<QString *> targets = members();
        for (qsizetype i = 0; i < fields.size(); ++i)
            *targets[i] = QString::fromLatin1(fields[i]);
        readOk_ = fields.size() == userconfig::OptionCount && showOptions();
    });
}

bool UserOptionsPage::showOptions() {
    // Copies first: each control's change rewrites its own member.
    const QString rov = optRov, level = optOvLevel, ramp = optRampTenths, aol = optAol,
                  count = optArcCount, period = optArcPeriod, quench = optQuenchTime,
                  reRamp = optReRamp, nad = optNad;
    const auto setCheck = [](QCheckBox *box, const QString &text) {
        const auto state = checkStateFrom(text);
        if (state)
            box->setCheckState(*state);
        return state.has_value();
    };
    const auto setEditor = [](NumEdit *edit, const QString &text, double divisor) {
        const auto value = decimalNumber(text);
        if (value)
            edit->setValue(*value / divisor);
        return value.has_value();
    };
    return setCheck(check_rov, rov) && setEditor(CWNumEdit1, level, 1) &&
           setEditor(CWNumEdit2, ramp, 10) && setCheck(check_aol, aol) &&
           setEditor(CWNumEdit3, count, 1) && setEditor(CWNumEdit4, period, 1) &&
           setEditor(CWNumEdit5, quench, 1) && setCheck(Check1, reRamp) && setCheck(Check2, nad);
}

void UserOptionsPage::check_rov_Click() {
    optRov = stateText(check_rov);
    CWNumEdit1->setEnabled(check_rov->checkState() == Qt::Checked);
}

void UserOptionsPage::check_aol_Click() {
    optAol = stateText(check_aol);
}

void UserOptionsPage::Check1_Click() {
    optReRamp = stateText(Check1);
}

void UserOptionsPage::Check2_Click() {
    optNad = stateText(Check2);
    // Without arc detection the arc count and period mean nothing.
    const bool counting = Check2->checkState() != Qt::Checked;
    CWNumEdit3->setEnabled(counting);
    CWNumEdit4->setEnabled(counting);
}

void UserOptionsPage::CWNumEdit1_ValueChanged() {
    optOvLevel = valueText(CWNumEdit1);
}

void UserOptionsPage::CWNumEdit2_ValueChanged() {
    optRampTenths = QString::number(countFrom(CWNumEdit2->value() * 10.0));
}

void UserOptionsPage::CWNumEdit3_ValueChanged() {
    optArcCount = valueText(CWNumEdit3);
}

void UserOptionsPage::CWNumEdit4_ValueChanged() {
    optArcPeriod = valueText(CWNumEdit4);
}

void UserOptionsPage::CWNumEdit5_ValueChanged() {
    optQuenchTime = valueText(CWNumEdit5);
}

void UserOptionsPage::Command1_Click() {
    saveOptions();
}

Task<> UserOptionsPage::saveOptions() {
    // By reference: GCC 12 destroys the by-value captures of a lambda made in a
    // co_await expression twice. This frame outlives the command.
    QString warning;
    // Queued behind the read: the options are taken once it has come back.
    co_await link_.run(this, [this, &warning]() -> Task<> {
        // After a failed or partial read the page holds values the operator
        // never saw from the supply; writing them would program options nobody
        // chose.
        if (!readOk_) {
            warning = QStringLiteral("The options could not be read from the supply, so nothing "
                                     "was saved. Close this page and open it again to read them.");
            co_return;
        }
        QList<QByteArray> fields;
        for (const QString *member : members())
            fields.append(typedPayloadText(*member));
        const QByteArray reply = co_await ops_.saveUserOptionsTask(fields);
        warning = userconfig::saveWarning(reply);
    });
    // Shown once the command is over, so the box holds up nothing on the
    // link; shown even when the page has closed meanwhile.
    if (!warning.isEmpty())
        dialogs().message(warning, QStringLiteral("User Configs"), Dialogs::Icon::Warning);
}

} // namespace zor
