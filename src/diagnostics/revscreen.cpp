#include "diagnostics/revscreen.h"

#include "platform/dialogs.h"
#include "shell/commdiagnosticspage.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QGridLayout>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

namespace zor {

namespace {

// Compared with the whole typed text, case and all.
const QString ModePassword = QStringLiteral("qtv");

QPixmap emblem() {
    QPixmap pixmap(72, 72);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 40, 110), 3));
    p.setBrush(QColor(70, 110, 200));
    p.drawEllipse(4, 4, 64, 64);
    p.setPen(QPen(QColor(255, 220, 0), 4));
    // A lightning stroke: high voltage.
    const QPoint bolt[] = {{42, 12}, {28, 38}, {42, 36}, {30, 60}};
    p.drawPolyline(bolt, 4);
    return pixmap;
}

} // namespace

void DoubleClickLabel::mouseDoubleClickEvent(QMouseEvent *event) {
    QLabel::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

RevScreen::RevScreen(FormRegistry &registry, MainWindow &main) : Form(registry), main_(main) {
    setObjectName(QStringLiteral("RevScreen"));
    setWindowTitle(QStringLiteral("About the ZOR Interface"));
    auto *grid = new QGridLayout(this);
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(emblem());
    Label1 = new QLabel(QStringLiteral(" GUI for ZOR80HR"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label3 = new DoubleClickLabel(QStringLiteral("Version 1.0"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(QStringLiteral("Operator and service console for the ZOR series of "
                                       "X-ray high-voltage power supplies."),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label4 = new QLabel(QStringLiteral("All rights reserved."), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    grid->addWidget(Picture1, 0, 0, 2, 1);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(Label3, 1, 1);
    grid->addWidget(Label2, 2, 0, 1, 2);
    grid->addWidget(Label4, 3, 0, 1, 2);
    grid->addWidget(ok, 4, 1, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &RevScreen::ok_Click);
    connect(Label3, &DoubleClickLabel::doubleClicked, this, &RevScreen::Label3_DblClick);
}

void RevScreen::ok_Click() {
    registry_.unload(this);
}

void RevScreen::Label3_DblClick() {
    // The console may unload every window while the prompt is open: nothing
    // of this one is touched after it unless it still exists.
    QPointer<RevScreen> self(this);
    MainWindow &main = main_;
    FormRegistry &registry = registry_;
    const QString typed = dialogs().input(QStringLiteral("Enter Mode Password"),
                                          QStringLiteral("Enable Special Function Mode"), {});
    if (typed == ModePassword && !main.ended()) {
        CommDiagnosticsPage &extras = main.extras();
        extras.show();
        extras.raise();
        MainMenu &menu = main.menu;
        menu.mnu_EXTRAS->setEnabled(true);
        menu.mnu_EXTRAS->setVisible(true);
        menu.mnu_PASSTHRU->setEnabled(true);
        menu.mnu_PASSTHRU->setVisible(true);
    }
    if (self)
        registry.unload(self);
}

} // namespace zor
