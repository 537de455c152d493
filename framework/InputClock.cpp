#include "framework/InputClock.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>

namespace zorv {
namespace {

// A property changed on a window of our own, on Qt's connection: the server
// answers with a PropertyNotify stamped with its time, in its stream of
// events, behind every input event it made before it. So no round trip is
// waited for, and no event loop runs: the answer is read from Qt's own
// stream when Qt gets to it.
class XServerClock : public InputClock, public QAbstractNativeEventFilter {
public:
    XServerClock(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t atom, Answer answer)
        : m_connection(connection), m_window(window), m_atom(atom), m_answer(std::move(answer))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~XServerClock() override
    {
        // The window goes with Qt's connection.
        if (QCoreApplication* application = QCoreApplication::instance())
            application->removeNativeEventFilter(this);
    }

    void mark() override
    {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, m_atom, XCB_ATOM_CARDINAL, 32, 0,
                            nullptr);
        xcb_flush(m_connection);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->window != m_window || notify->atom != m_atom)
            return false;
        m_answer(notify->time);
        return true;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
    xcb_atom_t m_atom;
    Answer m_answer;
};

} // namespace

std::unique_ptr<InputClock> InputClock::xServer(Answer answer)
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = application ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return nullptr;
    // Never mapped: it only carries the property whose changes are answered.
    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    const xcb_void_cookie_t created = xcb_create_window_checked(connection, 0, window, screen->root, 0, 0, 1, 1, 0,
                                                                XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                                                                XCB_CW_EVENT_MASK, &events);
    if (xcb_generic_error_t* error = xcb_request_check(connection, created)) {
        std::free(error);
        return nullptr;
    }
    static const char kName[] = "_ZORV_CONTROL_ENABLED";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (!atom) {
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
        return nullptr;
    }
    const xcb_atom_t name = atom->atom;
    std::free(atom);
    return std::make_unique<XServerClock>(connection, window, name, std::move(answer));
}

} // namespace zorv
