#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace whois::app {

// The multi-line result box. Its content is plain text. `ContentChanged` is raised once for
// every write by the program, synchronously inside the write (as it begins) and also when the text
// does not change, and once for every edit by the user; the empty content it starts with raises
// none.
class ResultBox : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit ResultBox(QWidget* parent = nullptr);

    void WriteContent(const QString& text);
    // The same, with the text made only after the event is raised, so that what the event
    // starts does not wait for the text to be made.
    void WriteContent(const std::function<QString()>& makeText);

  signals:
    void ContentChanged();

  private:
    void OnTextChanged();

    bool writing_ = false;
};

} // namespace whois::app
