#pragma once
// Types shared by the spinner's logic and its widget.
#include "platform/Event.h"

namespace fk {

// What a step of the spinner was made by.
enum TScrollCode : int {
    scLineUp = 0,    // one Increment up (Up key, upper button)
    scLineDown = 1,  // one Increment down
    scPageUp = 2,    // one LargeIncrement up
    scPageDown = 3,  // one LargeIncrement down
    scPosition = 4,  // a drag ended at this position
    scTrack = 5,     // the position while the buttons are pressed or dragged
    scEndScroll = 8, // a key, click, drag or typed value is complete
};

// ssAll: edit and up/down buttons; ssEdit: the edit alone.
enum TSpinnerStyle : int { ssAll = 0, ssEdit = 1 };

// Side the up/down buttons sit on.
enum TUDAlignButton : int { udLeft = 0, udRight = 1 };

// Sender, code, position: raised for every step; the handler may change the position.
using TScrollEvent = TEvent<TObject*, TScrollCode, int&>;

} // namespace fk
