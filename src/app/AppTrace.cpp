#include "app/AppTrace.h"

#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"

#include <QMessageBox>
#include <QWidget>

namespace fk {

TAppTrace::~TAppTrace()
{
    if (TTraceSink::Active() == &sink_)
        TTraceSink::SetActive(nullptr);
}

bool TAppTrace::Open(const String& path, const String& version)
{
    if (!sink_.Open(path)) {
        error_ = QString::fromStdString(TTraceSink::OpenFailureText(path));
        return false;
    }
    error_.clear();
    TTraceSink::SetActive(&sink_);
    TTraceSink::Start("ferrovan-kest", version);
    return true;
}

void TAppTrace::ShowFailure(QWidget* window) const
{
    if (error_.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, window ? window->windowTitle() : QString(),
                    QStringLiteral("No diagnostic trace is written: ") + error_, QMessageBox::Ok,
                    window);
    box.setObjectName(QLatin1String(names::TraceFailureBox));
    TTracedMessageBox::Exec(box);
}

} // namespace fk
