#include "app/Startup.h"

#include "app/App.h"
#include "app/FileTypes.h"
#include "app/Menu.h"
#include "app/Singletons.h"
#include "mainwindow/PwrSupWindow.h"

#include <QApplication>
#include <memory>

namespace zorv {
namespace {

void _InitFileTypes()
{
    FileTypes::_Initialize();
}

std::unique_ptr<class App> _NewAppInstance()
{
    auto app = std::make_unique<class App>();
    app->menuBar = &Menu();
    setApp(app.get());
    return app;
}

void _ApplicationAddMenuHandlers()
{
    class App* app = App();
    app->addMenuHandler(QStringLiteral("HelpAboutZORV"), [app] { return app->_HelpAboutZORV_Action(); });
}

void _MakeDefaultView()
{
    PwrSupWindow().show();
}

} // namespace

Program::Program()
{
    _InitFileTypes();
    m_app = _NewAppInstance();
    _ApplicationAddMenuHandlers();
    m_app->Event_Open();
    _MakeDefaultView();
}

Program::~Program()
{
    delete &PwrSupWindow();
    // After the windows that show it, before the application goes.
    m_app->menuBar = nullptr;
    releaseMenu();
    setApp(nullptr);
}

int runProgram(int& argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZORV"));
    const Program program;
    return QApplication::exec();
}

} // namespace zorv
