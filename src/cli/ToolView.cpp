#include "cli/ToolView.h"

namespace fk {

void TToolView::ShowStatus(int index, TIconClass, const String&)
{
    status_ = index;
    Changed();
}

void TToolView::ClearStatus()
{
    status_ = -1;
    Changed();
}

void TToolView::EnableDisconnect(bool enabled)
{
    // Disconnect is enabled from the opening event to the closed event of the port.
    if (enabled) {
        opened_ = true;
        closed_ = false;
    } else if (opened_) {
        closed_ = true;
    }
    Changed();
}

void TToolView::ShowProgress(bool, int, bool) { Changed(); }

void TToolView::ShowMessage(int index)
{
    message_ = index;
    Changed();
}

bool TToolView::ChooseFirmwareFile(const String&, String& fileName)
{
    if (FirmwareFile.empty())
        return false;
    fileName = FirmwareFile;
    return true;
}

TQuestionAnswer TToolView::AskQuestion(int) { return Answer; }

void TToolView::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace fk
