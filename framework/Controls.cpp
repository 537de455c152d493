#include "framework/Controls.h"

#include <QMimeData>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextBlock>

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
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        m_stale = true;
        raiseEvent(Event::TextChange);
    });
}

void TextArea::ensureText() const
{
    if (!m_stale)
        return;
    m_text.clear();
    m_lineStarts.clear();
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            m_text.append(u'\r');
        m_text.append(block.text());
    }
    // A line break typed with Shift+Return is a line end too.
    m_text.replace(QChar::LineSeparator, u'\r');
    m_lineStarts.push_back(0);
    for (qsizetype i = 0; i < m_text.size(); ++i)
        if (m_text[i] == u'\r')
            m_lineStarts.push_back(i + 1);
    m_stale = false;
}

QString TextArea::text() const
{
    ensureText();
    return m_text;
}

void TextArea::setText(const QString& text)
{
    setPlainText(toEditorLines(text));
}

QString TextArea::line(int k) const
{
    ensureText();
    if (k < 1 || static_cast<std::size_t>(k) > m_lineStarts.size())
        return {};
    const qsizetype start = m_lineStarts[static_cast<std::size_t>(k - 1)];
    const qsizetype end = static_cast<std::size_t>(k) < m_lineStarts.size()
                              ? m_lineStarts[static_cast<std::size_t>(k)] - 1
                              : m_text.size();
    return m_text.mid(start, end - start);
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
