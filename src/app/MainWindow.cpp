#include "MainWindow.h"

#include "Cp936Text.h"
#include "ResultBox.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>

namespace whois::app {
namespace {

constexpr QSize kClientSize(560, 270);

template <typename Control>
Control* Place(Control* control, const char* name, int x, int y, int width, int height)
{
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(x, y, width, height);
    return control;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect area)
{
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    return Place(label, name, area.x(), area.y(), area.width(), area.height());
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect area)
{
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    return Place(button, name, area.x(), area.y(), area.width(), area.height());
}

// The font of the answer: the classic Song face where it exists, else a CJK face the system has.
QFont ResultFont()
{
    QFont font;
    font.setFamilies({QString::fromUtf8("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Droid Sans Fallback")});
    font.setPointSize(9);
    return font;
}

bool IsLineBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// The first line of `text` that holds anything: what a single-line box keeps of pasted text.
QString FirstLine(const QString& text)
{
    qsizetype begin = 0;
    while (begin < text.size() && IsLineBreak(text[begin])) {
        ++begin;
    }
    qsizetype end = begin;
    while (end < text.size() && !IsLineBreak(text[end])) {
        ++end;
    }
    return text.mid(begin, end - begin);
}

bool SetClipboardText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    clipboard->setText(text, QClipboard::Clipboard);
    return true;
}

} // namespace

MainWindow::MainWindow(LookupState& state, Resolver& resolver, QWidget* parent)
    : MainWindow(state, resolver, LookupSession::ProgramOptions("whois-desktop"), parent)
{
}

MainWindow::MainWindow(LookupState& state, Resolver& resolver, Lookup::Limits limits,
                       QWidget* parent)
    : MainWindow(
          state, resolver,
          [&limits] {
              LookupSession::Options options;
              options.limits = std::move(limits);
              options.limits.useRdap = false;
              options.rdapDirectory = RdapDirectory({});
              return options;
          }(),
          parent)
{
}

MainWindow::MainWindow(LookupState& state, Resolver& resolver, LookupSession::Options options,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      session_(
          std::make_unique<LookupSession>(loop_, resolver, state, static_cast<LookupBoxes&>(*this),
                                          static_cast<LookupObserver*>(this), std::move(options)))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("whois"));
    setFixedSize(kClientSize);

    MakeLabel(this, "标签1", "whois服务器", {8, 16, 72, 24});
    serverBox_ = Place(new QLineEdit(this), "编辑框1", 88, 16, 272, 24);
    serverBox_->setEnabled(false);
    QPushButton* copyServer = MakeButton(this, "按钮2", "复制whois服务器", {360, 16, 112, 24});

    MakeLabel(this, "标签2", "查询网站", {24, 56, 72, 16});
    queryBox_ = Place(new QLineEdit(this), "编辑框2", 88, 52, 384, 24);
    // A site copied with its line end would otherwise name no server at all.
    connect(queryBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (std::any_of(text.begin(), text.end(), IsLineBreak)) {
            queryBox_->setText(FirstLine(text));
        }
    });

    MakeLabel(this, "标签3", "查询结果", {24, 88, 56, 16});
    resultBox_ = Place(new ResultBox(this), "超级编辑框1", 88, 88, 384, 168);
    resultBox_->setFont(ResultFont());

    QPushButton* copyResult = MakeButton(this, "按钮3", "复制查询结果", {16, 112, 64, 144});
    QPushButton* query = MakeButton(this, "按钮1", "查询", {488, 88, 72, 168});
    QPushButton* contact = MakeButton(this, "按钮4", "勿点", {480, 8, 80, 64});
    QFont contactFont = contact->font();
    contactFont.setPixelSize(35);
    contactFont.setWeight(QFont::Normal);
    contact->setFont(contactFont);

    // A tall, narrow button shows its caption one character per line.
    copyResult->setText(copyResult->text().split(QString()).join(QLatin1Char('\n')).trimmed());

    for (QPushButton* button : {copyServer, copyResult, query, contact}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
    }
    setTabOrder(query, copyServer);
    setTabOrder(copyServer, copyResult);
    setTabOrder(copyResult, contact);
    setTabOrder(contact, queryBox_);
    setTabOrder(queryBox_, resultBox_);
    queryBox_->setFocus();

    connect(query, &QPushButton::clicked, this, [this] { session_->RunQuery(); });
    // Direct connection: the follow-up starts inside the write of the answer.
    connect(
        resultBox_, &ResultBox::ContentChanged, this, [this] { session_->StartFollowUp(); },
        Qt::DirectConnection);
    connect(copyServer, &QPushButton::clicked, this, &MainWindow::CopyServerName);
    connect(copyResult, &QPushButton::clicked, this, &MainWindow::CopyResultText);
    connect(contact, &QPushButton::clicked, this, &MainWindow::OpenContactAddress);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kClientSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

// The lookup and the client go first, closing any open connection, before the boxes they
// write to are destroyed with the window.
MainWindow::~MainWindow() = default;

Text MainWindow::ReadQueryBox() const
{
    return ToCp936(queryBox_->text());
}

std::string MainWindow::ReadQueryBoxUtf8() const
{
    return queryBox_->text().toStdString();
}

void MainWindow::LookupStarted(const std::string& /*request*/)
{
    ShowBusy(true);
}

void MainWindow::LookupFinished(const LookupOutcome& /*outcome*/)
{
    ShowBusy(false);
}

void MainWindow::WriteServerBox(const Text& text)
{
    serverBox_->setText(FromCp936(text));
}

void MainWindow::WriteResultBox(const Text& text)
{
    resultBox_->WriteContent([&text] { return FromCp936(text); });
}

void MainWindow::CopyServerName()
{
    SetClipboardText(serverBox_->text());
}

void MainWindow::CopyResultText()
{
    SetClipboardText(resultBox_->toPlainText());
}

void MainWindow::OpenContactAddress()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kContactAddress)));
}

void MainWindow::ShowBusy(bool busy)
{
    if (busy) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

} // namespace whois::app
