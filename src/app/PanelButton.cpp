#include "app/PanelButton.h"

#include <QPushButton>

namespace fk {

QPushButton* NewPanelButton(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace fk
