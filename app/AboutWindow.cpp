#include "app/AboutWindow.h"

#include "framework/Controls.h"

namespace zorv {

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    Layout();
    CreateControls();
}

void AboutWindow::Layout()
{
    setWindowTitle(QStringLiteral("About ZORV"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(228, 181);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAttribute(Qt::WA_DeleteOnClose);
    // An About window left open must not keep the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
}

void AboutWindow::CreateControls()
{
    StaticText1 = new StaticText(this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setGeometry(13, 5, 202, 89);
    StaticText1->setWordWrap(true);
    StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StaticText1->setText(QStringLiteral(
        "ZORV allows arbitrary voltage waveforms to be 'played' through a programmable power supplies."));

    StaticText2 = new StaticText(this);
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    QFont font = StaticText2->font();
    font.setPixelSize(10);
    StaticText2->setFont(font);
    StaticText2->setGeometry(13, 106, 202, 66);
    StaticText2->setWordWrap(true);
    StaticText2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StaticText2->setText(QStringLiteral(
        "Written for the bench: a script of times and volts, a supply described in a text file, "
        "and a serial line between them."));
}

} // namespace zorv
