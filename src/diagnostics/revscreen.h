#pragma once

#include "shell/formregistry.h"

#include <QLabel>

class QPushButton;

namespace zor {

class MainWindow;

// A label that reports a double click.
class DoubleClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// "About the ZOR Interface". A double click on the version label asks for the
// mode password; the right one reveals the service entries of the Controls menu.
class RevScreen : public Form {
    Q_OBJECT
public:
    RevScreen(FormRegistry &registry, MainWindow &main);

    QLabel *Picture1;
    QLabel *Label1;
    DoubleClickLabel *Label3;
    QLabel *Label2;
    QLabel *Label4;
    QPushButton *ok;

    void ok_Click();
    void Label3_DblClick();

private:
    MainWindow &main_;
};

} // namespace zor
