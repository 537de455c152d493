#include "framework/Controls.h"

#include "framework/TextStream.h"
#include "framework/Yield.h"

#include <QDragEnterEvent>
#include <QFont>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QSet>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>

namespace zorv {

EventSource::EventSource()
{
    guardUserInput();
}

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
        // Owned by the button, so that the key counts as a press of it: none
        // while the button is disabled, and none made then acts later.
        m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
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
        setListIndexSilently(-1);
        return;
    }
    m_settingFromCode = true;
    setCurrentIndex(index);
    m_settingFromCode = false;
    // Disabling stops the user's events only: a row set from code raises
    // Change on a disabled pop-up too.
    raiseEvent(Event::Change);
}

void PopupMenu::setListIndexSilently(int index)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
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
    lines.replace(QChar::LineSeparator, u'\n');
    return lines;
}

namespace {

// A control character other than a tab: what a binary file is full of (NUL
// bytes, say), and what no font has a glyph for. Not those from U+0080 on:
// some fonts (URW's among them) give those glyphs.
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || u == 0x7f;
}

// Qt lays out a control character by asking every fallback font installed
// whether it has a glyph for it, each time: most of the time a file of them
// took to open, and more the more fonts there are. The runs of them in a
// line, to be laid out with the area's own font alone (for the script they
// stand in), which shows them as a character no font has; every other
// character still falls back to whichever font has it. A short line
// gets none: it costs little either way, and only the lines in view are laid
// out, so marking every line of a file of random bytes would cost more than
// it saves. Tabs are left to Qt's tab stops.
QList<QTextLayout::FormatRange> controlRunsOf(QStringView line)
{
    constexpr qsizetype kShortLine = 256;
    QList<QTextLayout::FormatRange> runs;
    if (line.size() < kShortLine)
        return runs;
    QTextCharFormat ownFontOnly;
    ownFontOnly.setFontStyleStrategy(QFont::NoFontMerging);
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!isControl(line[i]))
            continue;
        const qsizetype start = i;
        while (i + 1 < line.size() && isControl(line[i + 1]))
            ++i;
        runs.append({static_cast<int>(start), static_cast<int>(i + 1 - start), ownFontOnly});
    }
    return runs;
}

// Qt's layout of the area's lines, made cheaper for files that are no script.
// Qt lays a line out anew after any edit that starts in it, and a line of
// megabytes (a file with no line end) takes seconds. A line end added at the
// end of a line, as opening a file adds two, leaves that line as it was: the
// edit is laid out as starting in the line after it. Every line an edit
// changes is given its control runs (controlRunsOf) before Qt lays it out.
class LinesLayout : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override
    {
        if (charsRemoved == 0 && charsAdded > 0 && endsUnchangedAt(document()->findBlock(from), from))
            ++from;
        markControlRuns(from, charsAdded);
        QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
    }

private:
    // Runs set here, while Qt hands the edit to the layout, widen no later
    // edit, as they would once the edit is done. A line's state tells which
    // lines carry runs, so that a line that loses its control characters
    // loses its runs, and a line that never had any is given no layout
    // before it is shown.
    void markControlRuns(int from, int charsAdded)
    {
        const QTextDocument* lines = document();
        const QTextBlock first = lines->findBlock(from);
        const QTextBlock last = lines->findBlock(from + charsAdded);
        if (!first.isValid())
            return;
        // Reading one line's text costs as much as some hundred characters
        // of the whole text: the many lines an open sets are read from that.
        const int changedLines =
            (last.isValid() ? last.blockNumber() : lines->blockCount() - 1) - first.blockNumber() + 1;
        const bool readWhole = qsizetype(changedLines) * 100 > lines->characterCount();
        const QString whole = readWhole ? lines->toRawText() : QString();
        if (readWhole && m_linesWithRuns == 0) {
            const QStringView changed = QStringView(whole).sliced(first.position());
            if (std::none_of(changed.begin(), changed.end(), isControl))
                return;
        }
        int position = first.position();
        int withRuns = 0;
        QTextBlock block = first;
        for (; block.isValid(); block = block.next()) {
            const QString ownText = readWhole ? QString() : block.text();
            const QList<QTextLayout::FormatRange> runs =
                controlRunsOf(readWhole ? QStringView(whole).sliced(position, block.length() - 1) : ownText);
            position += block.length();
            const bool hadRuns = block.userState() == kHasControlRuns;
            if (!runs.isEmpty() || hadRuns) {
                block.layout()->setFormats(runs);
                block.setUserState(runs.isEmpty() ? -1 : kHasControlRuns);
                m_linesWithRuns += int(!runs.isEmpty()) - int(hadRuns);
            }
            withRuns += int(!runs.isEmpty());
            if (block == last)
                break;
        }
        if (first == lines->firstBlock() && (!block.isValid() || block == lines->lastBlock()))
            m_linesWithRuns = withRuns;
    }

    static constexpr int kHasControlRuns = 1;
    // Lines given runs and not yet seen losing them: a line removed with its
    // runs still counts until the whole text is marked again, so the count
    // is never short of the truth.
    int m_linesWithRuns = 0;

    // The line ends at `from` and its layout still covers the whole of it:
    // what was inserted at `from` began with a line end, after this line's
    // text as it was laid out. A line split in two is shorter than its layout.
    static bool endsUnchangedAt(const QTextBlock& block, int from)
    {
        const QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
        if (!layout || layout->lineCount() == 0 || from != block.position() + block.length() - 1)
            return false;
        const QTextLine last = layout->lineAt(layout->lineCount() - 1);
        return last.textStart() + last.textLength() == block.length() - 1;
    }
};

} // namespace

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent)
{
    auto* lines = new QTextDocument(this);
    lines->setDocumentLayout(new LinesLayout(lines));
    setDocument(lines);
    // Qt's default, breaking at a word boundary or else anywhere, lays out a
    // long line without blanks in time growing with its square: a script
    // file of megabytes with no line end the program knows would hang it.
    // Breaking anywhere takes linear time; script lines are short enough
    // that it rarely shows.
    setWordWrapMode(QTextOption::WrapAnywhere);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { raiseEvent(Event::TextChange); });
}

namespace {

// Key text and an input method's commit become a block of their own at a
// paragraph separator. Not at the line feed that toEditorLines gives: key
// text that begins with one is not inserted at all, as it is no printable
// character.
QString withLineSeparatorsEnded(const QString& text)
{
    return QString(text).replace(QChar::LineSeparator, QChar::ParagraphSeparator);
}

} // namespace

void TextArea::keyPressEvent(QKeyEvent* event)
{
    const bool separatorKey = event->matches(QKeySequence::InsertLineSeparator);
    if (!separatorKey && !event->text().contains(QChar::LineSeparator)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent ended(event->type(), separatorKey ? Qt::Key_Return : event->key(),
                    separatorKey ? Qt::NoModifier : event->modifiers(),
                    separatorKey ? QStringLiteral("\r") : withLineSeparatorsEnded(event->text()),
                    event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QPlainTextEdit::keyPressEvent(&ended);
    event->setAccepted(ended.isAccepted());
}

void TextArea::inputMethodEvent(QInputMethodEvent* event)
{
    if (!event->commitString().contains(QChar::LineSeparator)) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent ended(event->preeditString(), event->attributes());
    ended.setCommitString(withLineSeparatorsEnded(event->commitString()), event->replacementStart(),
                          event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&ended);
    event->setAccepted(ended.isAccepted());
}

QString TextArea::text() const
{
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\r');
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
    const QTextBlock block = document()->findBlockByNumber(k - 1);
    return block.isValid() ? block.text() : QString();
}

namespace {

// The charset a format names ("text/plain; charset=\"UTF-16LE\""), or empty.
QByteArray charsetOf(const QString& format)
{
    const QStringList parts = format.split(u';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString name = parts[i].section(u'=', 0, 0).trimmed();
        if (name.compare(u"charset", Qt::CaseInsensitive) == 0) {
            QString value = parts[i].section(u'=', 1).trimmed();
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            return value.toLatin1();
        }
    }
    return {};
}

const QString kPlainText = QStringLiteral("text/plain");
const QString kUtf8Text = QStringLiteral("text/plain;charset=utf-8");

// The plain-text format the data carries, with or without a charset; empty
// when it carries none. QMimeData::hasText() answers for addresses alone
// too, so it cannot tell. Only the names are looked at: a drag asks at
// every move.
QString textFormatOf(const QMimeData* source)
{
    if (!source)
        return {};
    for (const QString& format : {kUtf8Text, kPlainText}) {
        if (source->hasFormat(format))
            return format;
    }
    for (const QString& format : source->formats()) {
        if (format.section(u';', 0, 0).trimmed().compare(kPlainText, Qt::CaseInsensitive) == 0)
            return format;
    }
    return {};
}

// Bytes in the named charset, decoded whole: a character cut off at the end
// becomes the replacement character, as in a file, instead of vanishing. Qt
// keeps such bytes for a next call that never comes, and has no call that
// flushes them; a stateless call decodes them as the replacement character
// in Qt's own charsets, while ICU's (all others) only count them as errors,
// which a stateful call does not do for an unfinished end.
QString decodedWhole(const QByteArray& charset, const QByteArray& bytes)
{
    const QByteArray name = charset.isEmpty() ? QByteArray("UTF-8") : charset;
    QStringDecoder whole(name.constData(), QStringConverter::Flag::Stateless);
    if (!whole.isValid())
        return decodeText(bytes);
    QString text = whole.decode(bytes);
    if (whole.hasError() && !QStringConverter::encodingForName(name.constData())) {
        QStringDecoder inPieces(name.constData());
        inPieces.decode(bytes);
        if (!inPieces.hasError())
            text.append(QChar::ReplacementCharacter);
    }
    return text;
}

QString textOf(const QMimeData* source, const QString& format)
{
    // Qt reads these two itself, as each platform's clipboard offers them.
    if (format == kUtf8Text || format == kPlainText)
        return source->text();
    return decodedWhole(charsetOf(format), source->data(format));
}

const QString kUriList = QStringLiteral("text/uri-list");
const QString kMozUrl = QStringLiteral("text/x-moz-url");

// The data names addresses among its formats: files dragged or copied from a
// file manager, a link from a browser.
bool carriesAddresses(const QMimeData* source)
{
    return source->hasFormat(kUriList) || source->hasFormat(kMozUrl);
}

// The forms in which a program offers an address as text too: as written in
// the list, encoded or not, as Qt shows it, and a local file's path.
void addForms(QSet<QString>& forms, const QUrl& url)
{
    if (!url.isValid())
        return;
    forms << url.toString() << url.toDisplayString() << QString::fromLatin1(url.toEncoded());
    if (url.isLocalFile())
        forms << url.toLocalFile();
}

QStringList linesOf(const QString& text)
{
    return toEditorLines(text).split(u'\n');
}

// Whether the text holds nothing but the addresses the data carries, one to a
// line, however the lines end: file managers offer the files they drag or
// copy as text as well, and Qt's X11 bridge offers every list of addresses
// as text too. text/x-moz-url holds lines of an address and then its title,
// in UTF-16 as browsers write it.
bool onlyAddresses(const QMimeData* source, const QString& text)
{
    QSet<QString> forms;
    for (const QUrl& url : source->urls())
        addForms(forms, url);
    if (source->hasFormat(kMozUrl)) {
        const QByteArray bytes = source->data(kMozUrl);
        const bool utf16 = bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0' || bytes.startsWith("\xff\xfe")
                                                 || bytes.startsWith("\xfe\xff"));
        const QStringList lines = linesOf(decodedWhole(utf16 ? "UTF-16" : "UTF-8", bytes));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i % 2 == 0)
                addForms(forms, QUrl(lines[i].trimmed()));
            else
                forms << lines[i].trimmed();
        }
    }
    const QStringList lines = linesOf(text);
    return std::all_of(lines.begin(), lines.end(), [&forms](const QString& line) {
        return line.trimmed().isEmpty() || forms.contains(line.trimmed());
    });
}

} // namespace

bool TextArea::takesTextOf(const QMimeData* source) const
{
    const QString format = textFormatOf(source);
    // Only data that names addresses is read here: a drag asks at every
    // move, and reading may ask the program that drags.
    return !format.isEmpty() && (!carriesAddresses(source) || !onlyAddresses(source, textOf(source, format)));
}

bool TextArea::canInsertFromMimeData(const QMimeData* source) const
{
    return m_dragTaken ? *m_dragTaken : takesTextOf(source);
}

void TextArea::insertFromMimeData(const QMimeData* source)
{
    if (canInsertFromMimeData(source))
        textCursor().insertText(toEditorLines(textOf(source, textFormatOf(source))));
}

void TextArea::dragEnterEvent(QDragEnterEvent* event)
{
    m_dragTaken = takesTextOf(event->mimeData());
    QPlainTextEdit::dragEnterEvent(event);
}

void TextArea::dragLeaveEvent(QDragLeaveEvent* event)
{
    m_dragTaken.reset();
    QPlainTextEdit::dragLeaveEvent(event);
}

void TextArea::dropEvent(QDropEvent* event)
{
    QPlainTextEdit::dropEvent(event);
    m_dragTaken.reset();
}

} // namespace zorv
