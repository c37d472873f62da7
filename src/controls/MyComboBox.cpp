#include "controls/MyComboBox.h"

#include "controls/DropDownWidth.h"

#include <QAbstractItemView>
#include <QScreen>
#include <cmath>

namespace fk {

TMyComboBox::TMyComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setMaxVisibleItems(DefaultDropDownCount);
}

int TMyComboBox::DropDownWidth() const
{
    return view()->minimumWidth();
}

void TMyComboBox::AdjustDropDown()
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    const QScreen* s = screen();
    const int ppi = s ? static_cast<int>(std::lround(s->logicalDotsPerInch())) : 96;
    const int width = TDropDownWidth::WidthFor(widest, count(), DropDownCount(), ppi);
    if (width != DropDownWidth())
        view()->setMinimumWidth(width);
}

} // namespace fk
