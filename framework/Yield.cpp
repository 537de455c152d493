#include "framework/Yield.h"

#include "framework/Controls.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QShortcut>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

namespace zorv {
namespace {

// Input of the user's that can reach a handler.
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// The widget whose enabled state decides whether input sent to `receiver`
// may act: the widget itself, or the one a shortcut belongs to.
QWidget* controlOf(QObject* receiver)
{
    if (receiver->isWidgetType())
        return static_cast<QWidget*>(receiver);
    if (auto* shortcut = qobject_cast<QShortcut*>(receiver))
        return qobject_cast<QWidget*>(shortcut->parent());
    return nullptr;
}

bool mayAct(QObject* receiver)
{
    if (const QWidget* control = controlOf(receiver))
        return control->isEnabled();
    if (const auto* action = qobject_cast<QAction*>(receiver))
        return action->isEnabled();
    return true;
}

// Qt keeps the window system's input queued while a handler yields and hands
// it out once the handler has returned, to whatever is under the pointer or
// bound to the key by then: a click made on a disabled button would press it
// once the button is enabled again. So the moment a control is enabled, the
// input still waiting is taken out of Qt's queue here, while the control
// counts as disabled; while a handler yields or a control is enabled, input
// that gets through is held here instead of acting inside the handler.
class InputGate : public QObject {
public:
    explicit InputGate(QObject* parent) : QObject(parent) {}

    // Runs `pass` with the user's input held back.
    template <typename Pass>
    void holding(Pass pass)
    {
        // Input held meanwhile is new, whatever key is being replayed.
        const bool replayingKey = std::exchange(m_replayingKey, false);
        ++m_holding;
        pass();
        --m_holding;
        m_replayingKey = replayingKey;
        if (m_holding == 0 && !m_held.empty())
            scheduleReplay();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            if (auto* widget = qobject_cast<QWidget*>(receiver);
                widget && widget->isEnabled() && dynamic_cast<EventSource*>(widget))
                takeWaitingInput(widget);
            return false;
        }
        if (event->type() == QEvent::Shortcut && m_replayingKey) {
            // The key's shortcut, if any, was found when it was made; one
            // that matches only now was not there to press.
            event->accept();
            return true;
        }
        if (m_holding == 0 || receiver->isWindowType())
            return false;
        if (event->type() == QEvent::Close && event->spontaneous() && receiver->isWidgetType()) {
            // Ignored, so that the window stays until the close is replayed.
            m_held.push_back({receiver, nullptr});
            event->ignore();
            return true;
        }
        if (!isUserInput(event->type()))
            return false;
        if (mayAct(receiver) && !justEnabled(controlOf(receiver)))
            m_held.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
        event->accept();
        return true;
    }

    bool event(QEvent* event) override
    {
        if (event->type() != replayEvent())
            return QObject::event(event);
        m_replayPosted = false;
        replay();
        return true;
    }

private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event; // none for a close of the window
    };

    static QEvent::Type replayEvent()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    void takeWaitingInput(QWidget* control)
    {
        m_enabledNow.push_back(control);
        holding([] {
            // Timers and the serial line wait for the handler's next yield.
            constexpr auto flags = QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers;
            // Input a yield left queued counts as news only after a wake-up
            // for glib's dispatcher; one pass may serve the posted events
            // alone, and the bound stops a stream of them.
            auto* dispatcher = QAbstractEventDispatcher::instance();
            if (!dispatcher)
                return;
            dispatcher->wakeUp();
            for (int pass = 0; pass < 10 && dispatcher->processEvents(flags); ++pass) {
            }
        });
        m_enabledNow.pop_back();
    }

    bool justEnabled(const QWidget* control) const
    {
        if (!control)
            return false;
        for (const QWidget* enabled : m_enabledNow) {
            if (enabled == control || enabled->isAncestorOf(control))
                return true;
        }
        return false;
    }

    void scheduleReplay()
    {
        if (m_replayPosted)
            return;
        m_replayPosted = true;
        QCoreApplication::postEvent(this, new QEvent(replayEvent()));
    }

    // Delivers what was held, in the order it was made, from the event loop
    // once no handler yields; one handler it starts may hold more, which
    // follows in turn.
    void replay()
    {
        if (m_holding > 0 || m_replaying)
            return; // the end of that yield, or this loop, goes on with it
        m_replaying = true;
        while (!m_held.empty() && m_holding == 0) {
            const Held held = std::move(m_held.front());
            m_held.pop_front();
            QObject* receiver = held.receiver.data();
            if (!receiver || !mayAct(receiver) || blockedByDialog(receiver))
                continue;
            if (!held.event) {
                static_cast<QWidget*>(receiver)->close();
                continue;
            }
            m_replayingKey = held.event->type() == QEvent::KeyPress;
            QCoreApplication::sendEvent(receiver, held.event.get());
            m_replayingKey = false;
        }
        m_replaying = false;
        if (!m_held.empty() && m_holding == 0)
            scheduleReplay();
    }

    // A dialog opened by a handler meanwhile takes the input, as Qt's own
    // queue would leave it.
    static bool blockedByDialog(QObject* receiver)
    {
        const QWidget* modal = QApplication::activeModalWidget();
        const QWidget* control = controlOf(receiver);
        return modal && control && control->window() != modal && !modal->isAncestorOf(control);
    }

    std::deque<Held> m_held;
    std::vector<QWidget*> m_enabledNow;
    int m_holding = 0;
    bool m_replayPosted = false;
    bool m_replaying = false;
    bool m_replayingKey = false;
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

void yieldToEventLoop()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.elapsed() < 5)
        return;
    InputGate* input = gate();
    if (!input)
        return;
    input->holding([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    sinceLast.start();
}

} // namespace zorv
