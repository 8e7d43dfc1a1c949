#include "ResultBox.h"

namespace whois::app {
namespace {

// Qt lays out a paragraph in time that grows with the square of its length, so one line of
// a few megabytes from a hostile server would freeze the window for minutes. Real whois
// lines are short; a longer line is shown broken into pieces of this many characters.
constexpr qsizetype kLongestShownLine = 8192;

QString WithLongLinesBroken(const QString& text)
{
    QString shown;
    bool broken = false;
    qsizetype lineLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            lineLength = 0;
        } else if (lineLength >= kLongestShownLine && !c.isLowSurrogate()) {
            if (!broken) {
                broken = true;
                shown.reserve(text.size() + text.size() / kLongestShownLine);
                shown.append(text.constData(), i);
            }
            shown += QLatin1Char('\n');
            lineLength = 1;
        } else {
            ++lineLength;
        }
        if (broken) {
            shown += c;
        }
    }
    return broken ? shown : text;
}

} // namespace

ResultBox::ResultBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setReadOnly(false);
    setMaximumBlockCount(0);

    // The selection shows only while the box has the focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Inactive, QPalette::Text));
    setPalette(colours);

    connect(this, &QPlainTextEdit::textChanged, this, &ResultBox::OnTextChanged);
}

void ResultBox::WriteContent(const QString& text)
{
    // setPlainText may report several changes of its own; the write counts as one.
    writing_ = true;
    setPlainText(WithLongLinesBroken(text));
    writing_ = false;
    emit ContentChanged();
}

void ResultBox::OnTextChanged()
{
    if (!writing_) {
        emit ContentChanged();
    }
}

} // namespace whois::app
