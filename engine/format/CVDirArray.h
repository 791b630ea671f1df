// TCVDirArray: the directory items of one archive, with a case-insensitive (A to Z only) index of
// their stored names. Entry i of the index is the lower-cased name of item i; every operation that
// names, moves or drops items keeps it so, except SetCount, which only sizes the array: callers grow
// the count right before naming the new items. (A count of 0 empties the index too.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/CVDirItem.h"
#include "engine/format/CVHashedStringList.h"

class TCVDirArray {
public:
    TCVDirArray();
    ~TCVDirArray();
    TCVDirArray(const TCVDirArray&) = delete;
    TCVDirArray& operator=(const TCVDirArray&) = delete;

    int32_t Count() const noexcept { return ItemCount; }
    // Growth takes steps that double from 1000 up to 10000 items, or exactly Value when a step is too
    // small; 0 releases everything. Slots beyond the count are emptied, so a slot that comes back into
    // use starts like a new one. neDirPutIndex for a negative count.
    void SetCount(int32_t Value);

    // A copy of item Index (neDirGetIndex when out of range).
    TDirItem GetItem(int32_t Index) const;
    // The stored item, for changes in place (neDirItemIndex when out of range). Valid until the array
    // grows.
    TDirItem& GetItemPtr(int32_t Index);
    const TDirItem& GetItemPtr(int32_t Index) const;
    // Stores a copy of Value at Index (neDirPutIndex when out of range) and indexes its name: in place
    // when the index already covers Index, appended when it ends right there, else neNameIndexOnPut.
    void SetItem(int32_t Index, const TDirItem& Value);
    // Renames item Index. neNameIndexOnRename when its current name is indexed at another position.
    void SetItemName(int32_t Index, const std::u16string& Name);
    // Whether an item is stored under FileName (A to Z folded); ItemNo is its index or -1. Among items
    // of equal names the index names the last one.
    bool FileExists(const std::u16string& FileName, int32_t& ItemNo);
    // Removes item Index (neDirDeleteIndex when out of range); the items behind it move down.
    void DeleteItem(int32_t Index);
    // No items, no names; the capacity stays.
    void Clear();
    // This array becomes a copy of Other.
    void Assign(const TCVDirArray& Other);
    // Copies Other's items behind this array's own.
    void Append(const TCVDirArray& Other);
    void ClearTags();

    int32_t AllocBy() const noexcept { return FAllocBy; }
    int32_t AllocItemCount() const noexcept { return static_cast<int32_t>(FItems.size()); }
    const TCVHashedStringList& ItemNamesList() const noexcept { return FItemNamesList; }

    static constexpr int32_t InitialAllocBy = 500;
    static constexpr int32_t MaxAllocBy = 10000;

private:
    void ResetSlots(int32_t From, int32_t To);

    std::vector<TDirItem> FItems;           // its length is the capacity
    TCVHashedStringList FItemNamesList;
    int32_t FAllocBy = InitialAllocBy;
    int32_t ItemCount = 0;
};
