#include "monitor/identityframe.h"

#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "supply/supplyops.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

namespace {

const QColor White(255, 255, 255);
const QColor Red(255, 0, 0);

void showValue(QLineEdit *field, const QString &text, const QColor &background) {
    field->setText(text);
    QPalette p = field->palette();
    p.setColor(QPalette::Base, background);
    field->setPalette(p);
}

// The revision travels inside a numeric command, whose fields end at ',' and
// whose frame ends at a control character: neither may be part of it.
bool sendableRevision(const QString &text) {
    if (text.size() != 3)
        return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == QLatin1Char(','))
            return false;
    return true;
}

} // namespace

IdentityFrame::IdentityFrame(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("SYSTEM INFORMATION")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_SYSINFO"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    const auto pair = [&](QPushButton *&button, QLineEdit *&field, const char *name,
                          const char *fieldName, const char *caption, const char *text) {
        button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        field = new QLineEdit(QString::fromLatin1(text), this);
        field->setObjectName(QString::fromLatin1(fieldName));
        field->setReadOnly(true);
        field->setProperty("unknownText", field->text());
        grid->addWidget(button, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    };
    pair(btn_HWREV, txt_HWREV, "btn_HWREV", "txt_HWREV", "Hardware Rev.", "Rev. ??");
    pair(btn_MODNUM, txt_MODNUM, "btn_MODNUM", "txt_MODNUM", "Model Number", "Model ??");
    pair(btn_SWREV, txt_SWREV, "btn_SWREV", "txt_SWREV", "Software Rev.", "Rev. ??");
    pair(btn_SWBuild, txt_SWBUILD, "btn_SWBuild", "txt_SWBUILD", "Software Build", "Build ??");
    pair(btn_serialNum_rqst, txt_serialNum_rqst, "btn_serialNum_rqst", "txt_serialNum_rqst",
         "Serial Number", "");
    connect(btn_HWREV, &QPushButton::clicked, this, &IdentityFrame::btn_HWREV_Click);
    connect(btn_MODNUM, &QPushButton::clicked, this, &IdentityFrame::btn_MODNUM_Click);
    connect(btn_SWREV, &QPushButton::clicked, this, &IdentityFrame::btn_SWREV_Click);
    connect(btn_SWBuild, &QPushButton::clicked, this, &IdentityFrame::btn_SWBuild_Click);
    connect(btn_serialNum_rqst, &QPushButton::clicked, this,
            &IdentityFrame::btn_serialNum_rqst_Click);
    connect(ctx_.menu.mnu_HWREV, &QAction::triggered, this, &IdentityFrame::mnu_HWREV_Click);
    connect(&ctx_.state, &SupplyState::identityChanged, this,
            [this](IdentityField f, const QString &text) { showValue(field(f), text, White); });
    // No reply: the field shows "Unknown" on red.
    connect(&ctx_.state, &SupplyState::identityUnknown, this,
            [this](IdentityField f) { showValue(field(f), QStringLiteral("Unknown"), Red); });
    // Another unit: back to the texts shown before anything was read.
    connect(&ctx_.state, &SupplyState::unitForgotten, this, [this] {
        for (int f = 0; f < IdentityFieldCount; ++f) {
            QLineEdit *shown = field(static_cast<IdentityField>(f));
            showValue(shown, shown->property("unknownText").toString(), White);
        }
    });
}

QLineEdit *IdentityFrame::field(IdentityField f) const {
    const std::array<QLineEdit *, IdentityFieldCount> fields{txt_HWREV, txt_MODNUM, txt_SWREV,
                                                             txt_SWBUILD, txt_serialNum_rqst};
    return fields[static_cast<int>(f)];
}

void IdentityFrame::btn_HWREV_Click() {
    ctx_.ops.readIdentity(IdentityField::HardwareRevision);
}

void IdentityFrame::btn_MODNUM_Click() {
    ctx_.ops.readIdentity(IdentityField::Model);
}

void IdentityFrame::btn_SWREV_Click() {
    ctx_.ops.readIdentity(IdentityField::FirmwareRevision);
}

void IdentityFrame::btn_SWBuild_Click() {
    ctx_.ops.readIdentity(IdentityField::SoftwareBuild);
}

void IdentityFrame::btn_serialNum_rqst_Click() {
    ctx_.ops.readIdentity(IdentityField::SerialNumber);
}

void IdentityFrame::showChangeFailed() {
    txt_HWREV->setText(QStringLiteral("Change Failed"));
    // The next read shows the revision again, even an unchanged one.
    ctx_.state.forgetIdentity(IdentityField::HardwareRevision);
}

void IdentityFrame::mnu_HWREV_Click() {
    if (!dialogs().confirm(QStringLiteral("Are you sure you want to change the Rev Number?"),
                           QStringLiteral("Decide Now!")))
        return;
    const QString revision =
        dialogs().input(QStringLiteral("Enter the new HW Rev Number"),
                        QStringLiteral("Change Hardware Revision Number"), hwRevDefault);
    if (!sendableRevision(revision)) {
        showChangeFailed();
        return;
    }
    // The command may wait behind a running exchange, so the outcome is shown
    // from inside it; the read-back then follows as its own command.
    ctx_.link.command(this, [this, revision = revision.toLatin1()]() -> Task<> {
        if (co_await ctx_.ops.hardwareRevisionNumberTask(revision))
            btn_HWREV_Click();
        else
            showChangeFailed();
    });
}

} // namespace zor
