#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace whois::app {

class ResultBox;

// The program's only window: the query box and button, the server and result boxes, the
// two copy buttons and the contact button. Fixed size, centred, no maximise box.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);

    QLineEdit* QueryBox() const { return queryBox_; }
    QLineEdit* ServerBox() const { return serverBox_; }
    ResultBox* ResultView() const { return resultBox_; }

    void CopyServerName();
    void CopyResultText();
    void OpenContactAddress();

  signals:
    void QueryClicked();

  private:
    QLineEdit* serverBox_;
    QLineEdit* queryBox_;
    ResultBox* resultBox_;
};

// The address the contact button opens.
inline constexpr char kContactAddress[] = "https://lookup.icann.org/en";

} // namespace whois::app
