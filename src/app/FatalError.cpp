#include "FatalError.h"

#include <QMessageBox>

namespace whois::app {
namespace {

std::function<void(const QString&, const QString&)>& Hook()
{
    static std::function<void(const QString&, const QString&)> hook;
    return hook;
}

} // namespace

QString FatalErrorText(const QString& message)
{
    return QString::fromUtf8("运行时出错!\r\n\r\n错误信息：") + message + QStringLiteral("\r\n");
}

void ShowFatalError(const QString& message)
{
    const QString caption = QString::fromUtf8("错误");
    const QString text = FatalErrorText(message);
    if (Hook()) {
        Hook()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.exec();
}

void SetFatalErrorHook(std::function<void(const QString&, const QString&)> hook)
{
    Hook() = std::move(hook);
}

} // namespace whois::app
