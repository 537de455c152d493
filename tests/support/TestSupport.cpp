#include "support/TestSupport.h"

namespace zorv::testing {

QString ScriptedDialogs::openFile(const QStringList& filters)
{
    lastOpenFilters = filters;
    if (m_openAnswers.empty()) {
        unexpected.append(QStringLiteral("open dialog"));
        return {};
    }
    QString answer = m_openAnswers.front();
    m_openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFile()
{
    if (m_saveAnswers.empty()) {
        unexpected.append(QStringLiteral("save dialog"));
        return {};
    }
    QString answer = m_saveAnswers.front();
    m_saveAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::message(const QString& text)
{
    messages.append(text);
    if (!m_messagesExpected)
        unexpected.append(QStringLiteral("message: ") + text);
}

} // namespace zorv::testing
