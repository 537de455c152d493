#pragma once

#include "framework/Controls.h"
#include "framework/Serial.h"
#include "framework/Timer.h"
#include "supply/DeviceDescription.h"
#include "supply/RepeatedFailure.h"

#include <QMainWindow>
#include <cstdint>
#include <optional>

namespace zorv {

// The program's one main window. Its members are the program's shared state:
// the loaded description (the PS fields), the run state, the units and
// limits; its methods are the handlers of its controls' events, named after
// the control and the event. Handlers meet only through this state and the
// controls.
class PwrSupWindow : public QMainWindow, public DeviceDescription {
    Q_OBJECT
public:
    explicit PwrSupWindow(QWidget* parent = nullptr);
    ~PwrSupWindow() override;

    // The area the controls are laid out in, 521 x 339 when the window opens.
    QWidget* content() const { return m_content; }

    // The control registered under a name, or nullptr.
    template <class T>
    T* control(const QString& name) const
    {
        return findChild<T*>(name);
    }

    // State, as handlers share it.
    std::int32_t SerialPortCount = 0;
    std::int32_t CommandIndex = 0;
    double VoltMult = 0.0;
    double TimeMult = 0.0;
    QString Command;
    std::int32_t TimerPeriod = 0;
    std::int32_t ComTimMode = 0;
    QString LineTerm;
    double VoltsMax = 0.0;
    QString ZeroCommand;
    std::int32_t PPSLast = -1;

    // The controls, found by name once they are created.
    PushButton* openTextBtn = nullptr;
    TextArea* myEditField = nullptr;
    PushButton* saveTextBtn = nullptr;
    Serial* Serial1 = nullptr;
    PopupMenu* PPSpopup = nullptr;
    StaticText* StaticText1 = nullptr;
    PopupMenu* UnitsPopup = nullptr;
    StaticText* StaticText2 = nullptr;
    PushButton* StartButton = nullptr;
    Timer* PSComTimer = nullptr;
    PopupMenu* SerialPortPopup = nullptr;
    StaticText* StaticText3 = nullptr;
    PopupMenu* DevNumberPopup = nullptr;
    StaticText* StaticText4 = nullptr;
    PopupMenu* OutNumberPopup = nullptr;
    StaticText* StaticText5 = nullptr;
    StaticText* CmdTxt = nullptr;
    StaticText* ErrorText = nullptr;
    CheckBox* ZeroVCheckBox = nullptr;
    Timer* ZeroVTimer = nullptr;

    // Control-event handlers; each lives in the folder of its subsystem.
    void openTextBtn_Action();
    void myEditField_TextChange();
    void myEditField_Open();
    void saveTextBtn_Action();
    void PPSpopup_MouseEnter();
    void PPSpopup_Change();
    void PPSpopup_Open();
    void UnitsPopup_Change();
    void StartButton_Action();
    void PSComTimer_Action();
    void SerialPortPopup_MouseEnter();
    void SerialPortPopup_Change();
    void OutNumberPopup_Change();
    void ZeroVCheckBox_Action();
    void ZeroVTimer_Action();

    void Event_Open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Layout();
    void CreateControls();
    void bindControls();
    void followContentSize();
    void rebuildModelList();
    // After a failed load: the model list names the model whose description
    // is in force, or none, with Start disabled.
    void showModelInForce();
    // Closes Serial1 and opens it on the port the list shows. False when
    // that fails, which is reported, or when no row is shown, which is
    // reported only with `reportNone`: a run needs a port, a list does not.
    bool openShownPort(bool reportNone);
    // The one rule by which model loading and the check box set ZeroCommand.
    void updateZeroCommand();
    // The program ends: a run cut short by it must not leave the supply at
    // its last voltage when the user asked for zero volts.
    void zeroVoltsAtQuit();
    // The end of a run: the controls a run disabled are given back.
    void restoreAfterRun(bool waitForPort);
    // Sets StartButton as an enabling rule decided, except that nothing
    // disables Stop while a run goes on.
    void applyStartRule(bool allowed);
    // The rule that every change of the script applies, and the end of a run.
    bool scriptAllowsStart() const;

    QWidget* m_content = nullptr;
    RepeatedFailure m_portFailure;
    RepeatedFailure m_modelFailure;
    // The name of the model whose description is in force, once one is.
    std::optional<QString> m_modelInForce;
};

} // namespace zorv
