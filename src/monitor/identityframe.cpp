#include "monitor/identityframe.h"

#include "link/replycut.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

namespace {

const QColor White(255, 255, 255);
const QColor Red(255, 0, 0);

void showValue(QLineEdit *field, const QByteArray &text, const QColor &background) {
    field->setText(QString::fromLatin1(text));
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

IdentityFrame::IdentityFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("SYSTEM INFORMATION")), main_(main) {
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
    connect(main_.menu.mnu_HWREV, &QAction::triggered, this, &IdentityFrame::mnu_HWREV_Click);
}

void IdentityFrame::showUnknown(std::initializer_list<QLineEdit *> fields) {
    for (QLineEdit *field : fields)
        showValue(field, "Unknown", Red);
    main_.countCommError();
}

void IdentityFrame::readText(const QByteArray &payload, QLineEdit *field) {
    main_.command([this, payload, field] {
        const QByteArray reply = main_.link.exchange(payload);
        if (reply.isEmpty()) {
            showUnknown({field});
            return;
        }
        if (const auto value = reply::valueBeforeSemicolon(reply))
            showValue(field, *value, White);
    });
}

void IdentityFrame::btn_HWREV_Click() {
    main_.command([this] {
        const QByteArray reply = main_.link.exchange("HWVR;");
        if (reply.isEmpty())
            showUnknown({txt_HWREV});
        else
            showValue(txt_HWREV, reply.mid(1, 3), White);
    });
}

void IdentityFrame::btn_MODNUM_Click() {
    readText("MODR;", txt_MODNUM);
}

void IdentityFrame::btn_SWREV_Click() {
    main_.command([this] {
        const QByteArray reply = main_.link.exchange("FREV;");
        if (reply.isEmpty()) {
            showUnknown({txt_SWREV, txt_SWBUILD});
            return;
        }
        showValue(txt_SWREV, reply.mid(1, 11), White);
        if (const auto build = reply::fieldUntil(reply, 17, ','))
            showValue(txt_SWBUILD, *build, White);
    });
}

void IdentityFrame::btn_SWBuild_Click() {
    readText("SOFT;", txt_SWBUILD);
}

void IdentityFrame::btn_serialNum_rqst_Click() {
    readText("SNUR;", txt_serialNum_rqst);
}

void IdentityFrame::mnu_HWREV_Click() {
    if (!dialogs().confirm(QStringLiteral("Are you sure you want to change the Rev Number?"),
                           QStringLiteral("Decide Now!")))
        return;
    const QString revision =
        dialogs().input(QStringLiteral("Enter the new HW Rev Number"),
                        QStringLiteral("Change Hardware Revision Number"), main_.hwRevDefault);
    if (!sendableRevision(revision)) {
        txt_HWREV->setText(QStringLiteral("Change Failed"));
        return;
    }
    // The bracket may be held until a running exchange is done, so the outcome
    // is shown from inside it; the read-back then runs at once as its own command.
    main_.command([this, revision] {
        const QByteArray reply = main_.link.exchange("40," + revision.toLatin1() + ",");
        if (reply::charAt(reply, 5) == '$')
            btn_HWREV_Click();
        else
            txt_HWREV->setText(QStringLiteral("Change Failed"));
    });
}

} // namespace zor
