#include "app/NoProgramBox.h"

#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"

#include <QMessageBox>

namespace fk {

QString TNoProgramBox::DefaultText()
{
    return QStringLiteral("No program is set up to open this file or address. You can open it by hand: %1");
}

void TNoProgramBox::Show(QWidget* parent, const QString& caption, const QString& what, const QString& format)
{
    QMessageBox box(QMessageBox::Warning, caption, (format.isEmpty() ? DefaultText() : format).arg(what),
                    QMessageBox::Ok, parent);
    box.setObjectName(QLatin1String(names::NoProgramBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse); // the name can be copied
    TTracedMessageBox::Exec(box);
}

} // namespace fk
