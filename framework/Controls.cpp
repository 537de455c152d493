#include "framework/Controls.h"

#include <QMimeData>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <iterator>

namespace zorv {

void EventSource::bind(Event event, std::function<void()> handler)
{
    m_handlers[event] = std::move(handler);
}

void EventSource::raiseEvent(Event event) const
{
    const auto found = m_handlers.find(event);
    if (found != m_handlers.end() && found->second)
        found->second();
}

PushButton::PushButton(QWidget* parent) : QPushButton(parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [this] { raiseEvent(Event::Action); });
}

void PushButton::setCancel(bool cancel)
{
    m_cancel = cancel;
    if (cancel && !m_escape) {
        m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), window());
        connect(m_escape, &QShortcut::activated, this, [this] {
            // At once: an animated click would stop a run 100 ms late.
            if (m_cancel && isEnabled())
                click();
        });
    }
    if (m_escape)
        m_escape->setEnabled(cancel);
}

void PushButton::refresh()
{
    repaint();
}

PopupMenu::PopupMenu(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_settingFromCode && index >= 0 && isEnabled())
            raiseEvent(Event::Change);
    });
}

QString PopupMenu::text() const
{
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void PopupMenu::setListIndex(int index)
{
    if (index < 0 || index >= count()) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(-1);
        return;
    }
    m_settingFromCode = true;
    setCurrentIndex(index);
    m_settingFromCode = false;
    // Disabling stops the user's events only: a row set from code raises
    // Change on a disabled pop-up too.
    raiseEvent(Event::Change);
}

void PopupMenu::addRow(const QString& row)
{
    // Adding to an empty list would select row 0 by itself.
    const QSignalBlocker blocker(this);
    const int selected = currentIndex();
    addItem(row);
    setCurrentIndex(selected);
}

void PopupMenu::deleteAllRows()
{
    const QSignalBlocker blocker(this);
    clear();
}

void PopupMenu::enterEvent(QEnterEvent* event)
{
    QComboBox::enterEvent(event);
    // Qt delivers Enter to disabled widgets too.
    if (isEnabled())
        raiseEvent(Event::MouseEnter);
}

StaticText::StaticText(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void StaticText::setTextColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}

CheckBox::CheckBox(QWidget* parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::clicked, this, [this] { raiseEvent(Event::Action); });
}

QString toEditorLines(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    return lines;
}

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent)
{
    // Qt's default, breaking at a word boundary or else anywhere, lays out a
    // long line without blanks in time growing with its square: a script
    // file of megabytes with no line end the program knows would hang it.
    // Breaking anywhere takes linear time; script lines are short enough
    // that it rarely shows.
    setWordWrapMode(QTextOption::WrapAnywhere);
    // The document reports the change before the widget's textChanged, so a
    // TextChange handler already reads lines of the new text.
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { noteChange(position, added); });
    connect(this, &QPlainTextEdit::textChanged, this, [this] { raiseEvent(Event::TextChange); });
}

void TextArea::noteChange(int position, int added)
{
    // A typed or pasted piece is looked at here; a long one is left to the
    // next read of a line, which looks at the text once.
    constexpr int kLookAtMost = 256;
    m_softBreaksStale = true;
    if (m_mayHaveSoftBreaks)
        return;
    if (added > kLookAtMost) {
        m_mayHaveSoftBreaks = true;
        return;
    }
    for (int at = position; at < position + added; ++at) {
        if (document()->characterAt(at) == QChar::LineSeparator) {
            m_mayHaveSoftBreaks = true;
            return;
        }
    }
}

void TextArea::ensureSoftBreaks() const
{
    if (!m_mayHaveSoftBreaks || !m_softBreaksStale)
        return;
    m_softBreaks.clear();
    m_softBreaksStale = false;
    const QString raw = document()->toRawText();
    if (!raw.contains(QChar::LineSeparator)) {
        m_mayHaveSoftBreaks = false;
        return;
    }
    int block = 0;
    int breaks = 0;
    int extraLines = 0;
    auto closeBlock = [&] {
        if (breaks > 0) {
            m_softBreaks.push_back({block, breaks, block + extraLines});
            extraLines += breaks;
            breaks = 0;
        }
    };
    for (const QChar c : raw) {
        if (c == QChar::ParagraphSeparator) {
            closeBlock();
            ++block;
        } else if (c == QChar::LineSeparator) {
            ++breaks;
        }
    }
    closeBlock();
}

QString TextArea::text() const
{
    QString text = document()->toRawText();
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\r';
    return text;
}

void TextArea::setText(const QString& text)
{
    setPlainText(toEditorLines(text));
}

void TextArea::appendText(const QString& text)
{
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(toEditorLines(text));
    // Setting the text leaves nothing to undo; neither does this.
    document()->clearUndoRedoStacks();
}

bool TextArea::isEmpty() const
{
    return document()->isEmpty();
}

QString TextArea::line(int k) const
{
    if (k < 1)
        return {};
    ensureSoftBreaks();
    const int wanted = k - 1; // counted from 0, as blocks are
    int block = wanted;
    int within = 0;
    const auto after = std::upper_bound(m_softBreaks.begin(), m_softBreaks.end(), wanted,
                                        [](int line, const SoftBreaks& b) { return line < b.linesBefore; });
    if (after != m_softBreaks.begin()) {
        const SoftBreaks& b = *std::prev(after);
        if (wanted <= b.linesBefore + b.breaks) {
            block = b.block;
            within = wanted - b.linesBefore;
        } else {
            block = wanted - (b.linesBefore - b.block) - b.breaks;
        }
    }
    const QTextBlock found = document()->findBlockByNumber(block);
    if (!found.isValid())
        return {};
    const QString text = found.text();
    if (!text.contains(QChar::LineSeparator))
        return text;
    return text.section(QChar::LineSeparator, within, within);
}

namespace {

bool carriesPlainText(const QMimeData* source)
{
    return source && source->hasFormat(QStringLiteral("text/plain"));
}

} // namespace

bool TextArea::canInsertFromMimeData(const QMimeData* source) const
{
    return carriesPlainText(source);
}

void TextArea::insertFromMimeData(const QMimeData* source)
{
    if (carriesPlainText(source))
        textCursor().insertText(toEditorLines(source->text()));
}

} // namespace zorv
