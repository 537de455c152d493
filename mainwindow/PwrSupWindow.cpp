#include "mainwindow/PwrSupWindow.h"

#include "app/Menu.h"
#include "app/Singletons.h"
#include "mainwindow/ControlTable.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStringList>
#include <QWindow>

namespace zorv {
namespace {

constexpr QSize kOpeningSize{521, 339};
constexpr QSize kMinimumSize{390, 330};
constexpr QSize kMaximumSize{32000, 32000};

// The layout was drawn for a narrower system font: a label that would be cut
// off in its box is set in a condensed face of the same font instead.
void condenseToFit(QWidget* widget, const QString& text, int width)
{
    QFont font = widget->font();
    for (int stretch : {QFont::SemiCondensed, QFont::Condensed, QFont::ExtraCondensed}) {
        if (QFontMetrics(font).horizontalAdvance(text) <= width)
            break;
        font.setStretch(stretch);
    }
    widget->setFont(font);
}

QObject* makeControl(const ControlSpec& spec, QWidget* content, QObject* owner)
{
    QWidget* widget = nullptr;
    switch (spec.kind) {
    case ControlKind::Serial: {
        auto* serial = new Serial(owner);
        // A line of 57600 bit/s, 8 data bits, no parity and 1 stop bit until a
        // description says otherwise.
        serial->setBaud(13);
        serial->setBits(3);
        serial->setParity(0);
        serial->setStop(0);
        serial->setObjectName(QString::fromLatin1(spec.name));
        return serial;
    }
    case ControlKind::Timer: {
        auto* timer = new Timer(owner);
        timer->setMode(0);
        timer->setPeriod(spec.timerPeriod);
        timer->setObjectName(QString::fromLatin1(spec.name));
        return timer;
    }
    case ControlKind::PushButton: {
        auto* button = new PushButton(content);
        button->setCaption(QString::fromUtf8(spec.text));
        widget = button;
        break;
    }
    case ControlKind::TextArea: {
        auto* area = new TextArea(content);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setTabChangesFocus(true);
        area->setText(QString::fromUtf8(spec.text));
        widget = area;
        break;
    }
    case ControlKind::PopupMenu: {
        auto* popup = new PopupMenu(content);
        const QString rows = QString::fromUtf8(spec.text);
        if (!rows.isEmpty()) {
            for (const QString& row : rows.split(u'\r'))
                popup->addRow(row);
            popup->setCurrentIndex(0);
        }
        widget = popup;
        break;
    }
    case ControlKind::StaticText: {
        auto* text = new StaticText(content);
        text->setText(QString::fromUtf8(spec.text));
        text->setTextColor(spec.textColor);
        widget = text;
        break;
    }
    case ControlKind::CheckBox: {
        auto* box = new CheckBox(content);
        box->setText(QString::fromUtf8(spec.text));
        box->setChecked(false);
        widget = box;
        break;
    }
    }
    QFont font = widget->font();
    font.setPixelSize(12);
    widget->setFont(font);
    widget->setObjectName(QString::fromLatin1(spec.name));
    widget->setGeometry(spec.geometry);
    widget->setEnabled(spec.enabled);
    widget->setToolTip(QString::fromUtf8(spec.helpTag));
    if (spec.kind == ControlKind::StaticText)
        condenseToFit(widget, QString::fromUtf8(spec.text), spec.geometry.width());
    return widget;
}

EventSource* eventSource(QObject* control)
{
    return dynamic_cast<EventSource*>(control);
}

} // namespace

PwrSupWindow::PwrSupWindow(QWidget* parent) : QMainWindow(parent)
{
    Layout();
    CreateControls();
    // The controls open before their window does.
    myEditField->raiseEvent(Event::Open);
    PPSpopup->raiseEvent(Event::Open);
    Event_Open();
    // However the program ends: Quit, its shortcut, or this window closed.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &PwrSupWindow::zeroVoltsAtQuit);
}

PwrSupWindow::~PwrSupWindow()
{
    // The port is closed before the controls go, so no handler runs on a
    // half-destroyed window.
    if (Serial1)
        Serial1->close();
    for (Timer* timer : {PSComTimer, ZeroVTimer})
        if (timer)
            timer->setMode(0);
}

void PwrSupWindow::Layout()
{
    // The program's one menu bar; binding it to a reference keeps this from
    // compiling into a temporary Menu should the accessor go out of sight.
    class Menu& bar = Menu();
    bar.populate(menuBar());
    setWindowTitle(QStringLiteral("Power Supply Window"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The limit holds for the window as a whole, menu bar included, and for
    // the area the controls are laid out in.
    setMaximumSize(kMaximumSize);
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setMinimumSize(kMinimumSize);
    m_content->setMaximumSize(kMaximumSize);
    m_content->installEventFilter(this);
    setCentralWidget(m_content);
    m_content->resize(kOpeningSize);
    resize(kOpeningSize.width(), kOpeningSize.height() + menuBar()->sizeHint().height());
}

void PwrSupWindow::CreateControls()
{
    QWidget* previousTabStop = nullptr;
    for (const ControlSpec& spec : controlTable()) {
        QObject* control = makeControl(spec, m_content, this);
        for (const EventBinding& binding : eventBindings()) {
            if (QLatin1StringView(binding.control) != QLatin1StringView(spec.name))
                continue;
            const auto handler = binding.handler;
            if (auto* timer = qobject_cast<Timer*>(control))
                connect(timer, &Timer::action, this, [this, handler] { (this->*handler)(); });
            else if (EventSource* source = eventSource(control))
                source->bind(binding.event, [this, handler] { (this->*handler)(); });
        }
        auto* widget = qobject_cast<QWidget*>(control);
        if (widget && widget->focusPolicy() != Qt::NoFocus) {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
    }
    bindControls();
}

void PwrSupWindow::bindControls()
{
    openTextBtn = control<PushButton>(QStringLiteral("openTextBtn"));
    myEditField = control<TextArea>(QStringLiteral("myEditField"));
    saveTextBtn = control<PushButton>(QStringLiteral("saveTextBtn"));
    Serial1 = control<Serial>(QStringLiteral("Serial1"));
    PPSpopup = control<PopupMenu>(QStringLiteral("PPSpopup"));
    StaticText1 = control<StaticText>(QStringLiteral("StaticText1"));
    UnitsPopup = control<PopupMenu>(QStringLiteral("UnitsPopup"));
    StaticText2 = control<StaticText>(QStringLiteral("StaticText2"));
    StartButton = control<PushButton>(QStringLiteral("StartButton"));
    PSComTimer = control<Timer>(QStringLiteral("PSComTimer"));
    SerialPortPopup = control<PopupMenu>(QStringLiteral("SerialPortPopup"));
    StaticText3 = control<StaticText>(QStringLiteral("StaticText3"));
    DevNumberPopup = control<PopupMenu>(QStringLiteral("DevNumberPopup"));
    StaticText4 = control<StaticText>(QStringLiteral("StaticText4"));
    OutNumberPopup = control<PopupMenu>(QStringLiteral("OutNumberPopup"));
    StaticText5 = control<StaticText>(QStringLiteral("StaticText5"));
    CmdTxt = control<StaticText>(QStringLiteral("CmdTxt"));
    ErrorText = control<StaticText>(QStringLiteral("ErrorText"));
    ZeroVCheckBox = control<CheckBox>(QStringLiteral("ZeroVCheckBox"));
    ZeroVTimer = control<Timer>(QStringLiteral("ZeroVTimer"));
}

bool PwrSupWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_content && event->type() == QEvent::Resize)
        followContentSize();
    return QMainWindow::eventFilter(watched, event);
}

void PwrSupWindow::followContentSize()
{
    // The text area follows all four edges; nothing else moves.
    if (!myEditField)
        return;
    const ControlSpec& spec = controlTable()[1];
    const QRect r = spec.geometry;
    const int right = kOpeningSize.width() - r.right();
    const int bottom = kOpeningSize.height() - r.bottom();
    myEditField->setGeometry(r.left(), r.top(), qMax(0, m_content->width() - r.left() - right + 1),
                             qMax(0, m_content->height() - r.top() - bottom + 1));
}

void PwrSupWindow::Event_Open()
{
    DevNumberPopup->setEnabled(false);
    OutNumberPopup->setEnabled(false);
    StartButton->setEnabled(false);
    VoltMult = 1.0;
    TimeMult = 1.0;
}

} // namespace zorv
