#include "ResultBox.h"

namespace whois::app {
namespace {

// Qt lays out a paragraph in time that grows with the square of its length, so one line of
// a few megabytes from a hostile server would freeze the window for minutes. Real whois
// lines are short; a longer line is shown broken into pieces of this many characters.
constexpr qsizetype kLongestShownLine = 8192;
// Each paragraph of the document costs a few hundred bytes and its share of the time, so
// millions of short lines would take half a gigabyte. Beyond this many lines, runs of lines
// share a paragraph, broken by line separators: they look the same and copy as line ends.
constexpr qsizetype kMostParagraphs = 2048;

bool IsLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// Walks `text` line by line as it is shown: `onBreak(index, length)` for each line end (its
// index and length, "\r\n" being one) and for each break put into an overlong line (the
// index of the piece that follows, length 0).
template <typename OnBreak> void WalkShownLines(const QString& text, OnBreak onBreak)
{
    qsizetype lineLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsLineEnd(c)) {
            const bool crlf =
                c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n');
            onBreak(i, crlf ? 2 : 1);
            i += crlf ? 1 : 0;
            lineLength = 0;
            continue;
        }
        if (lineLength >= kLongestShownLine && !c.isLowSurrogate()) {
            onBreak(i, 0);
            lineLength = 0;
        }
        ++lineLength;
    }
}

// The text as the document holds it: overlong lines broken, and, for very many lines, runs
// of lines in one paragraph. Few lines of ordinary length come back unchanged.
QString ShownText(const QString& text)
{
    qsizetype lines = 1;
    qsizetype addedBreaks = 0;
    WalkShownLines(text, [&](qsizetype, qsizetype length) {
        ++lines;
        addedBreaks += length == 0 ? 1 : 0;
    });
    if (addedBreaks == 0 && lines <= kMostParagraphs) {
        return text;
    }

    const qsizetype linesPerParagraph = (lines + kMostParagraphs - 1) / kMostParagraphs;
    QString shown;
    shown.reserve(text.size() + addedBreaks);
    qsizetype copied = 0; // text before this index is in `shown`
    qsizetype linesInParagraph = 0;
    qsizetype paragraphLength = 0;
    WalkShownLines(text, [&](qsizetype index, qsizetype length) {
        shown.append(text.constData() + copied, index - copied);
        paragraphLength += index - copied;
        copied = index + length;
        if (++linesInParagraph < linesPerParagraph && paragraphLength < kLongestShownLine) {
            shown += QChar(QChar::LineSeparator);
            ++paragraphLength;
            return;
        }
        if (length == 0 || text[index] == QChar::LineSeparator) {
            shown += QLatin1Char('\n');
        } else {
            shown.append(text.constData() + index, length);
        }
        linesInParagraph = 0;
        paragraphLength = 0;
    });
    shown.append(text.constData() + copied, text.size() - copied);
    return shown;
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
    WriteContent([&text] { return text; });
}

void ResultBox::WriteContent(const std::function<QString()>& makeText)
{
    // The event is raised as the write begins, so a follow-up it starts is on its way while
    // the box lays the text out. setPlainText may report several changes of its own; the
    // write counts as one.
    emit ContentChanged();
    writing_ = true;
    setPlainText(ShownText(makeText()));
    writing_ = false;
}

void ResultBox::OnTextChanged()
{
    if (!writing_) {
        emit ContentChanged();
    }
}

} // namespace whois::app
