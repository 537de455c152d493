#pragma once

#include "framework/Dialogs.h"

#include <QScopedValueRollback>
#include <QString>

namespace zorv {

// The failure of the last attempt at one list's choice. Each pointer entry
// re-selects the shown choice and tries it again; were the message of a
// lasting failure shown at every entry, it would come up before a click could
// land, and the user could never reach the list to choose something else.
class RepeatedFailure {
public:
    // Runs select() as the re-selection of the shown choice.
    template <class Select>
    void reselect(Select select)
    {
        const QScopedValueRollback<bool> during(m_reselecting, true);
        select();
    }

    // The attempt at `choice` failed with `message`, which is shown: always
    // for the user's own choice, and for a re-selection unless the attempt
    // before failed on the same choice the same way.
    void report(const QString& choice, const QString& message)
    {
        const bool repeated = m_reselecting && m_failed && choice == m_choice && message == m_message;
        m_failed = true;
        m_choice = choice;
        m_message = message;
        if (!repeated)
            dialogs::msgBox(message);
    }

    // The attempt did not fail: a later failure is news again.
    void clear() { m_failed = false; }

private:
    bool m_reselecting = false;
    bool m_failed = false;
    QString m_choice;
    QString m_message;
};

} // namespace zorv
