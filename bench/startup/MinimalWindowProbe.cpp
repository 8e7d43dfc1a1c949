// The floor: the smallest Qt Widgets program that shows a window.
#include "ProbeReport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("whois"));
    window.resize(560, 270);
    window.show();
    QTimer::singleShot(0, &window, [&window] {
        ReportWindowShown();
        window.close();
    });
    return QApplication::exec();
}
