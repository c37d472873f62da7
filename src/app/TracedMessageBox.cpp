#include "app/TracedMessageBox.h"

#include "support/TraceSink.h"

#include <QAbstractButton>

namespace fk {

int TTracedMessageBox::Exec(QMessageBox& box)
{
    const int result = box.exec();
    if (!TTraceSink::Enabled())
        return result;
    const std::string text = box.text().toStdString();
    if (box.buttons().size() <= 1)
        TTraceSink::Message(text);
    else
        TTraceSink::Question(text, AnswerName(box, result).toStdString());
    return result;
}

void TTracedMessageBox::Show(QMessageBox* box)
{
    box->show();
    if (TTraceSink::Enabled())
        TTraceSink::Message(box->text().toStdString());
}

QString TTracedMessageBox::AnswerName(const QMessageBox& box, int result)
{
    switch (result) {
    case QMessageBox::Ok: return QStringLiteral("ok");
    case QMessageBox::Yes: return QStringLiteral("yes");
    case QMessageBox::No: return QStringLiteral("no");
    case QMessageBox::Cancel: return QStringLiteral("cancel");
    default: break;
    }
    if (const QAbstractButton* button = box.clickedButton())
        return button->text();
    return QStringLiteral("closed");
}

} // namespace fk
