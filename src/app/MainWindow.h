#pragma once

#include "QtEventLoop.h"
#include "lookup/Lookup.h"
#include "lookup/LookupBoxes.h"
#include "lookup/LookupObserver.h"
#include "lookup/LookupSession.h"

#include <QWidget>

#include <memory>
#include <string>

class QLineEdit;

namespace whois {
class Resolver;
}

namespace whois::app {

class ResultBox;

// The program's only window: the query box and button, the server and result boxes, the
// two copy buttons and the contact button. Fixed size, centred, no maximise box. It is one
// front end of a lookup session: it shows the session's boxes and its progress.
class MainWindow : public QWidget, private LookupBoxes, private LookupObserver {
    Q_OBJECT

  public:
    // With the program's own options: routes remembered in the user's cache, RDAP with the
    // bootstrap data there.
    MainWindow(LookupState& state, Resolver& resolver, QWidget* parent = nullptr);
    MainWindow(LookupState& state, Resolver& resolver, LookupSession::Options options,
               QWidget* parent = nullptr);
    // Port 43 only, remembering nothing: for tests that bound the lookup.
    MainWindow(LookupState& state, Resolver& resolver, Lookup::Limits limits,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    void CopyServerName();
    void CopyResultText();
    void OpenContactAddress();
    // The busy pointer over the window while a lookup runs, the normal one after.
    void ShowBusy(bool busy);

  private:
    Text ReadQueryBox() const override;
    std::string ReadQueryBoxUtf8() const override;
    void WriteServerBox(const Text& text) override;
    void WriteResultBox(const Text& text) override;

    void LookupStarted(const std::string& request) override;
    void LookupFinished(const LookupOutcome& outcome) override;

    QLineEdit* serverBox_ = nullptr;
    QLineEdit* queryBox_ = nullptr;
    ResultBox* resultBox_ = nullptr;

    QtEventLoop loop_;
    std::unique_ptr<LookupSession> session_;
};

// The address the contact button opens.
inline constexpr char kContactAddress[] = "https://lookup.icann.org/en";

} // namespace whois::app
