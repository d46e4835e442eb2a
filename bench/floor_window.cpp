// The floor of the process figures: an empty top-level Qt window of the login window's
// size, shown and then left alone. It links only Qt Widgets, so what it weighs, how fast
// it shows and what it does while idle is what any Qt Widgets window costs here.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("kvbench-floor"));
    window.setFixedSize(332, 211);
    window.show();
    return application.exec();
}
