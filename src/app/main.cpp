#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("whois"));
    window.setFixedSize(560, 270);
    window.show();
    return QApplication::exec();
}
