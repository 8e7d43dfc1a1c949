#include "ResultBox.h"

namespace whois::app {

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
    setPlainText(text);
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
