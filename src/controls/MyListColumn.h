#pragma once
// One column of a TMyListView: caption, width limits and alignment, and what its header item
// shows: a sort arrow, a split (drop-down) button, a check box. Every setter that changes a
// value tells the column collection, so the list view refreshes the header item.
// Widths are in the list view's pixels.
#include "platform/Event.h"
#include "platform/Types.h"

#include <QString>
#include <QtCore/qnamespace.h>

namespace fk {

class TMyListColumns;

enum TUpDownDirection : int { updNone = 0, updUp = 1, updDown = 2 };

class TMyListColumn : public TObject {
public:
    // Header item format flags the column decides.
    static constexpr u32 hdfCheckBox = 0x40;
    static constexpr u32 hdfChecked = 0x80;
    static constexpr u32 hdfFixedWidth = 0x100;
    static constexpr u32 hdfSortDown = 0x200;
    static constexpr u32 hdfSortUp = 0x400;
    static constexpr u32 hdfSplitButton = 0x1000000;
    static constexpr u32 hdfColumnFlags =
        hdfCheckBox | hdfChecked | hdfFixedWidth | hdfSortDown | hdfSortUp | hdfSplitButton;

    static constexpr int DefaultWidth = 50;

    explicit TMyListColumn(TMyListColumns* owner = nullptr) : owner_(owner) {}
    TMyListColumn(const TMyListColumn&) = delete;
    TMyListColumn& operator=(const TMyListColumn&) = delete;

    // Place in the collection (-1 outside one).
    int Index() const;
    TMyListColumns* Collection() const noexcept { return owner_; }

    const QString& Caption() const noexcept { return caption_; }
    void SetCaption(const QString& caption);
    int Width() const noexcept { return width_; }
    void SetWidth(int width);
    int MinWidth() const noexcept { return minWidth_; }
    void SetMinWidth(int width);
    int MaxWidth() const noexcept { return maxWidth_; } // 0: no limit
    void SetMaxWidth(int width);
    Qt::Alignment Alignment() const noexcept { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);
    // The column takes the width the others leave.
    bool AutoSize() const noexcept { return autoSize_; }
    void SetAutoSize(bool on);

    TUpDownDirection SortDirection() const noexcept { return sortDirection_; }
    void SetSortDirection(TUpDownDirection direction);
    bool SplitButton() const noexcept { return splitButton_; }
    void SetSplitButton(bool on);
    bool ShowCheckBox() const noexcept { return showCheckBox_; }
    void SetShowCheckBox(bool on);
    bool Checked() const noexcept { return checked_; }
    void SetChecked(bool on);

    // The user cannot resize the column: its minimum width equals its maximum (also both 0).
    bool FixedWidth() const noexcept { return minWidth_ == maxWidth_; }
    // The width the header gives the column: Width kept within MinWidth..MaxWidth, the
    // common value of the two when they are equal and not 0.
    int EffectiveWidth() const noexcept;
    // format with the column's flags cleared and set again from the column.
    u32 HeaderFormat(u32 format = 0) const noexcept;

    // Copies every property (not the place in a collection), as one change.
    void Assign(const TMyListColumn& other);

protected:
    // The column changed: the collection and its list view hear of it.
    void DoChange();

private:
    template <class T>
    void Store(T& field, const T& value);

    TMyListColumns* owner_;
    QString caption_;
    int width_ = DefaultWidth;
    int minWidth_ = 0;
    int maxWidth_ = 0;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool autoSize_ = false;
    TUpDownDirection sortDirection_ = updNone;
    bool splitButton_ = false;
    bool showCheckBox_ = false;
    bool checked_ = false;
};

} // namespace fk
