#include "mainwindow/ControlTable.h"

#include "mainwindow/PwrSupWindow.h"

namespace zorv {

const std::vector<ControlSpec>& controlTable()
{
    using K = ControlKind;
    static const std::vector<ControlSpec> table{
        {"openTextBtn", K::PushButton, {44, 173, 158, 20}, 0, "Open Time/Volts File\u2026"},
        {"myEditField", K::TextArea, {209, 45, 287, 285}, 1, "", true},
        {"saveTextBtn", K::PushButton, {68, 237, 134, 20}, 2, "Save Text File\u2026"},
        {"Serial1", K::Serial, {}, -1, ""},
        {"PPSpopup", K::PopupMenu, {133, 14, 254, 19}, 3, ""},
        {"StaticText1", K::StaticText, {5, 141, 37, 20}, 4, "Units:"},
        {"UnitsPopup", K::PopupMenu, {44, 141, 158, 20}, 5,
         "Seconds, Volts\rSeconds, Milivolts\rMinutes, Volts\rMinutes, Milivolts"},
        {"StaticText2", K::StaticText, {5, 14, 129, 20}, 6, "Power Supply Model:"},
        {"StartButton", K::PushButton, {114, 205, 88, 20}, 7, "Start"},
        {"PSComTimer", K::Timer, {}, -1, "", false, Qt::black, true, "", 1000},
        {"SerialPortPopup", K::PopupMenu, {38, 46, 164, 20}, 8, ""},
        {"StaticText3", K::StaticText, {5, 46, 37, 20}, 9, "Port:"},
        {"DevNumberPopup", K::PopupMenu, {107, 78, 95, 20}, 10, "1"},
        {"StaticText4", K::StaticText, {5, 78, 93, 20}, 11, "Device Number:"},
        {"OutNumberPopup", K::PopupMenu, {107, 110, 95, 20}, 12, "1"},
        {"StaticText5", K::StaticText, {5, 110, 93, 20}, 13, "Output number:"},
        {"CmdTxt", K::StaticText, {5, 299, 187, 20}, 14, "", false, QColor(0x58, 0x40, 0x89)},
        {"ErrorText", K::StaticText, {5, 282, 197, 20}, 15, "", false, QColor(0xFF, 0x03, 0x03)},
        {"ZeroVCheckBox", K::CheckBox, {5, 261, 197, 20}, 16, "Zero volts when stopped", false, Qt::black, false,
         "If Checked, will set the voltage to zero after two seconds."},
        {"ZeroVTimer", K::Timer, {}, -1, "", false, Qt::black, true, "", 2000},
    };
    return table;
}

const std::vector<EventBinding>& eventBindings()
{
    using W = PwrSupWindow;
    static const std::vector<EventBinding> bindings{
        {"openTextBtn", Event::Action, &W::openTextBtn_Action, "openTextBtn_Action"},
        {"myEditField", Event::TextChange, &W::myEditField_TextChange, "myEditField_TextChange"},
        {"myEditField", Event::Open, &W::myEditField_Open, "myEditField_Open"},
        {"saveTextBtn", Event::Action, &W::saveTextBtn_Action, "saveTextBtn_Action"},
        {"PPSpopup", Event::MouseEnter, &W::PPSpopup_MouseEnter, "PPSpopup_MouseEnter"},
        {"PPSpopup", Event::Change, &W::PPSpopup_Change, "PPSpopup_Change"},
        {"PPSpopup", Event::Open, &W::PPSpopup_Open, "PPSpopup_Open"},
        {"UnitsPopup", Event::Change, &W::UnitsPopup_Change, "UnitsPopup_Change"},
        {"StartButton", Event::Action, &W::StartButton_Action, "StartButton_Action"},
        {"PSComTimer", Event::Action, &W::PSComTimer_Action, "PSComTimer_Action"},
        {"SerialPortPopup", Event::MouseEnter, &W::SerialPortPopup_MouseEnter, "SerialPortPopup_MouseEnter"},
        {"SerialPortPopup", Event::Change, &W::SerialPortPopup_Change, "SerialPortPopup_Change"},
        {"OutNumberPopup", Event::Change, &W::OutNumberPopup_Change, "OutNumberPopup_Change"},
        {"ZeroVCheckBox", Event::Action, &W::ZeroVCheckBox_Action, "ZeroVCheckBox_Action"},
        {"ZeroVTimer", Event::Action, &W::ZeroVTimer_Action, "ZeroVTimer_Action"},
    };
    return bindings;
}

} // namespace zorv
