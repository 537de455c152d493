#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QShortcut;

namespace zorv {

// The events a control can raise to the program.
enum class Event { Action, Change, MouseEnter, TextChange, Open };

// What every control shares: the handlers bound to its events.
class EventSource {
public:
    EventSource();
    virtual ~EventSource() = default;
    void bind(Event event, std::function<void()> handler);
    void raiseEvent(Event event) const;

private:
    std::map<Event, std::function<void()>> m_handlers;
};

class PushButton : public QPushButton, public EventSource {
    Q_OBJECT
public:
    explicit PushButton(QWidget* parent = nullptr);

    QString caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
    bool cancel() const { return m_cancel; }
    // A cancel button is pressed by the Escape key.
    void setCancel(bool cancel);
    void refresh();

private:
    bool m_cancel = false;
    QShortcut* m_escape = nullptr;
};

// A pop-up menu. With no row selected its text is empty and its index -1.
// Adding or deleting rows never selects a row and raises nothing. Setting the
// index from code raises Change, on a disabled pop-up too (an index out of
// range selects nothing and raises nothing); the user's pick of another row
// raises it as well. A disabled pop-up raises no event of the user's.
class PopupMenu : public QComboBox, public EventSource {
    Q_OBJECT
public:
    explicit PopupMenu(QWidget* parent = nullptr);

    QString text() const;
    int listIndex() const { return currentIndex(); }
    void setListIndex(int index);
    // Selects a row, or none for an index out of range, and raises nothing:
    // puts back the row of a choice that a failed Change did not take.
    void setListIndexSilently(int index);
    void addRow(const QString& row);
    void deleteAllRows();
    int listCount() const { return count(); }

protected:
    void enterEvent(QEnterEvent* event) override;

private:
    bool m_settingFromCode = false;
};

// A static text line.
class StaticText : public QLabel, public EventSource {
    Q_OBJECT
public:
    explicit StaticText(QWidget* parent = nullptr);
    void setTextColor(const QColor& color);
};

// A check box whose Action comes from the user's click only.
class CheckBox : public QCheckBox, public EventSource {
    Q_OBJECT
public:
    explicit CheckBox(QWidget* parent = nullptr);
    bool value() const { return isChecked(); }
};

// A text area whose text the program sees with a carriage return between
// lines, however the lines were ended when typed, pasted, dropped or set.
// Setting the text raises TextChange, as every edit does.
class TextArea : public QPlainTextEdit, public EventSource {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);

    // The whole text, built anew at each call: for callers that need it whole.
    QString text() const;
    void setText(const QString& text);
    // Adds text at the end in one edit, as setting text() + text would.
    void appendText(const QString& text);
    bool isEmpty() const;
    // Line k (from 1) of text() split at carriage returns, empty past the end;
    // read from the document, so its cost does not grow with the text.
    QString line(int k) const;

protected:
    // Only text is taken from a drop or a paste, in any plain-text format,
    // and not text that is nothing but the addresses the data carries:
    // dragged or copied files come with their addresses as text too, and a
    // script would play them. Whether a drag is taken is decided as it
    // enters, once.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // A line separator, from its key, typed or committed by an input method,
    // ends a line as Return does: a line break inside a block would make
    // line k other than block k - 1.
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    bool takesTextOf(const QMimeData* source) const;

    std::optional<bool> m_dragTaken; // while a drag is over the area
};

// Turns LF, CR LF, CR and Unicode line separator ends into the text area's
// own line breaks, one block per line.
QString toEditorLines(const QString& text);

} // namespace zorv
