#pragma once
// The push buttons of the main window's panels: named (the object names tests find them by),
// and never pressed by Enter unless the window makes one its default button.
#include <QString>

class QPushButton;
class QWidget;

namespace fk {

QPushButton* NewPanelButton(const QString& text, const char* name, QWidget* parent);

} // namespace fk
