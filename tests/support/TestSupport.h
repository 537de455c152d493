#pragma once

#include "framework/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>

namespace zorv::testing {

// Answers the program's dialogs the way a test says the user will. A dialog
// or message box that the test did not expect is recorded, answered with
// cancel, and reported by unexpected().
class ScriptedDialogs : public dialogs::Handler {
public:
    ScriptedDialogs() { dialogs::setHandlerForTesting(this); }
    ~ScriptedDialogs() override { dialogs::setHandlerForTesting(nullptr); }

    void nextOpenFile(const QString& path) { m_openAnswers.push_back(path); }
    void nextSaveFile(const QString& path) { m_saveAnswers.push_back(path); }
    void expectMessages() { m_messagesExpected = true; }

    QString openFile(const QStringList& filters) override;
    QString saveFile() override;
    void message(const QString& text) override;

    QStringList messages;
    QStringList lastOpenFilters;
    QStringList unexpected;

private:
    std::deque<QString> m_openAnswers;
    std::deque<QString> m_saveAnswers;
    bool m_messagesExpected = false;
};

} // namespace zorv::testing
