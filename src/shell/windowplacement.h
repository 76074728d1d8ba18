#pragma once

#include <QObject>
#include <QRect>

class QWidget;

namespace zor {

// Where a window opens: the main window centred on its screen, every other
// window centred on the main window, each moved back wholly onto the screen.
// Placed once, on its first showing; where the operator moves it, it stays.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    explicit WindowPlacement(QWidget &mainWindow);

    // A frame of this size centred on `over`, then shifted inside `screen`
    // (its top-left corner kept on the screen when it is larger).
    static QRect centred(QSize frame, QRect over, QRect screen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place(QWidget &window);

    QWidget &main_;
};

} // namespace zor
