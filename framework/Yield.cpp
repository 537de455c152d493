#include "framework/Yield.h"

#include "framework/Controls.h"
#include "framework/InputClock.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zorv {
namespace {

// Whether `time` comes after `than` in the window system's clock, which the
// X server counts in 32 bits of milliseconds and lets wrap.
bool later(quint64 time, quint64 than)
{
    return static_cast<qint32>(static_cast<quint32>(time - than)) > 0;
}

// A clock that a test gives, answered at once.
class CallClock : public InputClock {
public:
    CallClock(std::function<quint64()> now, Answer answer) : m_now(std::move(now)), m_answer(std::move(answer)) {}
    void mark() override { m_answer(m_now()); }

private:
    std::function<quint64()> m_now;
    Answer m_answer;
};

// Qt keeps the window system's input queued while a handler yields and hands
// it out once the handler has returned, to whatever is under the pointer or
// has the focus by then: a click made on a disabled button would press it
// once the button is enabled again. So the moment a control is enabled is
// marked in the clock that stamps input events, and input that Qt delivers
// to the control (or to a shortcut of it) is dropped when it was made before
// that moment. It is dropped where Qt hands it to the window, before Qt
// gives focus, pressed state or hover for it. Nothing is held or delivered
// by the program itself and no event loop runs here; what Qt does with input
// for a window that a dialog blocks (it drops it) and for the dialog stays as
// Qt has it.
class InputGate : public QObject {
public:
    explicit InputGate(QObject* parent) : QObject(parent) { useClock({}); }

    void useClock(std::function<quint64()> now)
    {
        m_marks.clear();
        m_marked = m_answered = 0;
        auto answer = [this](quint64 time) { answered(time); };
        if (now)
            m_clock = std::make_unique<CallClock>(std::move(now), answer);
        else
            m_clock = InputClock::xServer(answer);
    }

    void guard(QAction* item)
    {
        connect(item, &QAction::enabledChanged, this, [this, item](bool enabled) {
            if (enabled)
                markEnabled(item);
        });
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::EnabledChange:
            if (auto* widget = qobject_cast<QWidget*>(receiver);
                widget && widget->isEnabled() && dynamic_cast<EventSource*>(widget))
                markEnabled(widget);
            return false;
        case QEvent::Shortcut:
            // Found for the key being delivered, whose time it has.
            return !mayAct(receiver, m_keyTime) && drop(event);
        default:
            break;
        }
        if (!receiver->isWindowType() || !event->spontaneous())
            return false;
        auto* window = static_cast<QWindow*>(receiver);
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            m_keyTime = static_cast<QKeyEvent*>(event)->timestamp();
            return false;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return key(window, static_cast<QKeyEvent*>(event));
        default:
            return event->isPointerEvent() && pointer(window, static_cast<QPointerEvent*>(event));
        }
    }

private:
    // When a control was last enabled; no time while the window system has
    // not answered yet.
    struct Mark {
        QPointer<QObject> control;
        quint64 id = 0;
        std::optional<quint64> time;
        std::chrono::steady_clock::time_point made = std::chrono::steady_clock::now();
    };

    // Far longer than any handler yields after enabling a control, and far
    // shorter than the weeks after which the X server's clock wraps.
    static constexpr std::chrono::hours kMarkLifetime{1};

    static bool expired(const Mark& mark)
    {
        return !mark.control || std::chrono::steady_clock::now() - mark.made > kMarkLifetime;
    }

    void markEnabled(QObject* control)
    {
        if (!m_clock)
            return;
        std::erase_if(m_marks, [control](const Mark& mark) { return expired(mark) || mark.control == control; });
        m_marks.push_back({control, ++m_marked, std::nullopt});
        m_clock->mark();
    }

    void answered(quint64 time)
    {
        ++m_answered;
        for (Mark& mark : m_marks) {
            if (mark.id == m_answered)
                mark.time = time;
        }
    }

    // The mark of the control that `target` is or belongs to: its own, that
    // of the widget a shortcut or a list's pop-up belongs to.
    const Mark* markOf(const QObject* target) const
    {
        for (const QObject* object = target; object; object = object->parent()) {
            for (const Mark& mark : m_marks) {
                if (mark.control == object)
                    return expired(mark) ? nullptr : &mark;
            }
        }
        return nullptr;
    }

    // Whether input made at `time` may act on `target`: not when it was made
    // before the control was enabled. Until the window system has answered,
    // all input it hands out was made before. Input without a time (the
    // pointer entering a window) was made after the stamped input before it;
    // when that came before the mark too, or there was none, it is taken for
    // old, and the control takes the pointer's entry when it comes anew.
    bool mayAct(const QObject* target, quint64 time) const
    {
        const Mark* mark = target ? markOf(target) : nullptr;
        if (!mark)
            return true;
        const quint64 made = time != 0 ? time : m_lastTime;
        return mark->time && made != 0 && later(made, *mark->time);
    }

    // Input comes in the order it was made: a mark that this input is later
    // than holds nothing back any more.
    void seen(quint64 time)
    {
        if (time == 0)
            return;
        m_lastTime = time;
        std::erase_if(m_marks, [time](const Mark& mark) { return expired(mark) || (mark.time && later(time, *mark.time)); });
    }

    static bool drop(QEvent* event)
    {
        event->accept();
        return true;
    }

    // A release goes where its press went: Qt drops the release and the drag
    // of a press it never delivered, and a key acts on its press.
    bool key(QWindow* window, QKeyEvent* event)
    {
        const quint64 time = event->timestamp();
        bool act = true;
        if (event->type() == QEvent::KeyPress) {
            m_keyTime = time;
            act = mayAct(keyTarget(window), time);
        }
        seen(time);
        return !act && drop(event);
    }

    bool pointer(QWindow* window, QPointerEvent* event)
    {
        const bool enter = event->type() == QEvent::Enter;
        const quint64 time = enter ? 0 : event->timestamp();
        bool act = true;
        if (!m_marks.empty()) {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::TabletPress:
            case QEvent::TouchBegin:
            case QEvent::Wheel:
            case QEvent::Enter:
                act = mayAct(pointerTarget(window, event), time);
                break;
            case QEvent::MouseMove:
            case QEvent::TabletMove:
                // Hovering; a drag goes where its press went.
                if (static_cast<QSinglePointEvent*>(event)->buttons() == Qt::NoButton)
                    act = mayAct(pointerTarget(window, event), time);
                break;
            default:
                break;
            }
        }
        seen(time);
        return !act && drop(event);
    }

    static QObject* keyTarget(QWindow* window)
    {
        if (QWidget* grabber = QWidget::keyboardGrabber())
            return grabber;
        if (QWidget* popup = QApplication::activePopupWidget())
            return popup->focusWidget() ? popup->focusWidget() : popup;
        return window->focusObject();
    }

    // The widget under the point, as Qt picks it for the window.
    static QObject* pointerTarget(QWindow* window, QPointerEvent* event)
    {
        if (event->points().isEmpty())
            return window;
        const QEventPoint& point = event->points().front();
        QWidget* top = QApplication::activePopupWidget();
        QPoint at;
        if (top) {
            at = top->mapFromGlobal(point.globalPosition().toPoint());
        } else {
            top = QWidget::find(window->winId());
            at = point.position().toPoint();
        }
        if (!top)
            return window;
        QWidget* child = top->childAt(at);
        return child ? child : top;
    }

    std::unique_ptr<InputClock> m_clock;
    std::vector<Mark> m_marks;
    quint64 m_marked = 0;   // marks asked for
    quint64 m_answered = 0; // marks the window system has answered
    quint64 m_lastTime = 0; // of the newest stamped input
    quint64 m_keyTime = 0;  // of the key being delivered
};

InputGate* gate()
{
    static QPointer<InputGate> instance;
    if (!instance && QCoreApplication::instance()) {
        instance = new InputGate(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(instance);
    }
    return instance;
}

} // namespace

void guardUserInput()
{
    gate();
}

void guardUserInput(QAction* item)
{
    if (InputGate* input = gate())
        input->guard(item);
}

void setInputClockForTesting(std::function<quint64()> now)
{
    if (InputGate* input = gate())
        input->useClock(std::move(now));
}

void yieldToEventLoop()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.elapsed() < 5)
        return;
    guardUserInput();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The input this pass left queued is news to glib's dispatcher only after
    // a wake-up: without one it stays queued until the window system sends
    // something else, minutes later perhaps, instead of acting as soon as the
    // handler returns.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
    sinceLast.start();
}

} // namespace zorv
