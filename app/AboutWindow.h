#pragma once

#include <QWidget>

namespace zorv {

class StaticText;

// A small fixed window that says what the program is.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    StaticText* StaticText1 = nullptr;
    StaticText* StaticText2 = nullptr;

private:
    void Layout();
    void CreateControls();
};

} // namespace zorv
