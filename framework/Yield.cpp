#include "framework/Yield.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace zorv {

void yieldToEventLoop()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.elapsed() < 5)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceLast.start();
}

} // namespace zorv
