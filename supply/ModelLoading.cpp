#include "mainwindow/PwrSupWindow.h"

#include "framework/Files.h"
#include "framework/Strings.h"
#include "framework/Yield.h"
#include "supply/ModelFolder.h"

namespace zorv {

namespace {

// A command template is given when any of its three lines holds something;
// a choice whose command has no template is disabled.
bool templateGiven(const QString& pre, const QString& format, const QString& post)
{
    return !pre.isEmpty() || !format.isEmpty() || !post.isEmpty();
}

// The output rows, and the limit of a supply without a list of outputs. No
// row is selected: no output is chosen until the user picks one.
void setUpOutputs(PwrSupWindow& w)
{
    if (w.PSComOutList.isEmpty()) {
        w.OutNumberPopup->setEnabled(true);
        w.OutNumberPopup->deleteAllRows();
        w.OutNumberPopup->addRow(QStringLiteral("1"));
        w.OutNumberPopup->setEnabled(false);
        w.VoltsMax = Val(NthField(w.VoltsMaxList, QStringLiteral(","), 1));
    } else {
        w.OutNumberPopup->deleteAllRows();
        // The fields are NthField's, empty ones included, each found from the
        // end of the one before: looking each up from the start would cost
        // the square of the line's length. A row costs Qt's list some 250
        // bytes, so rows stop at kMaxOutputRows: a line of commas within the
        // size limit would otherwise take gigabytes and seconds per load.
        const QString& list = w.PSComOutList;
        qsizetype from = 0;
        for (int row = 0; row < kMaxOutputRows; ++row) {
            const qsizetype comma = list.indexOf(u',', from);
            const qsizetype end = comma < 0 ? list.size() : comma;
            w.OutNumberPopup->addRow(list.sliced(from, end - from));
            yieldToEventLoop();
            if (comma < 0)
                break;
            from = comma + 1;
        }
    }
    w.OutNumberPopup->setEnabled(templateGiven(w.PSComOutSelPre, w.PSComOutSelFormat, w.PSComOutSelPost));
}

} // namespace

void PwrSupWindow::showModelInForce()
{
    // By its name: a rebuild since its load may have moved it, and the row
    // it had may hold the model that just failed.
    const int row = m_modelInForce ? PPSpopup->findText(*m_modelInForce) : -1;
    // Selected again, the row would raise Change and load the model anew,
    // which would empty the output chosen for it.
    PPSpopup->setListIndexSilently(row);
    // Every Start rule asks for a model shown.
    if (PPSpopup->listIndex() < 0)
        applyStartRule(false);
}

void PwrSupWindow::PPSpopup_Change()
{
    LineTerm = Chr(13);
    const QString model = PPSpopup->text();
    const QString path = modelFolder() + model + QStringLiteral(".dep");
    if (!files::exists(path)) {
        // The description, the choices and PPSLast stay those of the model
        // loaded before.
        m_modelFailure.report(model,
                              QStringLiteral("file: ZORV dep files:") + model + QStringLiteral(".dep not found"));
        showModelInForce();
        return;
    }
    const std::optional<QString> text = files::readTextFile(path);
    if (!text) {
        // Going on would keep the old supply's commands under the new
        // model's name, and a run would send them to the wrong supply.
        m_modelFailure.report(model, QStringLiteral("file: ZORV dep files:") + model
                                         + QStringLiteral(".dep could not be read"));
        showModelInForce();
        return;
    }
    m_modelFailure.clear();
    m_modelInForce = model;

    TextInputStream in(*text);
    // The controls a section sets up follow each appearance of it: with a
    // section given twice, both take effect in turn (an output list given
    // empty and then filled keeps the limit the empty one set).
    readDeviceDescription(in, *this, yieldToEventLoop, [this](Section section) {
        if (section == Section::PSSelect)
            DevNumberPopup->setEnabled(templateGiven(PSComPSSelPre, PSComPSSelFormat, PSComPSSelPost));
        else if (section == Section::OutputSelect)
            setUpOutputs(*this);
    });

    ZeroVCheckBox->setEnabled(true);
    updateZeroCommand();
    PPSLast = PPSpopup->listIndex();
    // No output is chosen (a rebuilt list has none): a run now would select
    // output Val("") = 0 while checking against the limit chosen before.
    if (!PSComOutList.isEmpty() && OutNumberPopup->text().isEmpty())
        applyStartRule(false);
}

} // namespace zorv
