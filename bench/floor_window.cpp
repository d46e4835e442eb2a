// The floor of the process figures: an empty top-level Qt window of the login window's
// size, shown and then left alone. It links only Qt Widgets, so what it weighs, how fast
// it shows and what it does while idle is what any Qt Widgets window costs here.
//
//   floor_window          the empty window
//   floor_window --text   the same window with one label of Chinese text, so that it also
//                         pays for setting up fonts, as every window that shows text does

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("kvbench-floor"));
    window.setFixedSize(332, 211);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto* label = new QLabel(QStringLiteral("用户名："), &window);
        label->setGeometry(8, 112, 64, 32);
    }
    window.show();
    return application.exec();
}
