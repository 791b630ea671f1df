#include "engine/format/CVDirArray.h"

#include <algorithm>
#include <utility>

#include "engine/base/CVExcept.h"
#include "engine/util/CVStrFunc.h"

// The array's errors carry no component: it does not know which archiver it serves.

TCVDirArray::TCVDirArray() = default;

TCVDirArray::~TCVDirArray() = default;

void TCVDirArray::ResetSlots(int32_t From, int32_t To) {
    // A slot left with its old contents would keep a source stream open, and its stale name would
    // make the next SetItemName on it find that name at another position.
    for (int32_t i = From; i < To; ++i) FItems[static_cast<size_t>(i)] = TDirItem{};
}

void TCVDirArray::SetCount(int32_t Value) {
    if (Value < 0) throw ECVException(neDirPutIndex, nullptr);
    const auto capacity = static_cast<int32_t>(FItems.size());
    if (Value > capacity) {
        FAllocBy = std::min(2 * FAllocBy, MaxAllocBy);
        const int64_t stepped = static_cast<int64_t>(capacity) + FAllocBy;
        FItems.resize(static_cast<size_t>(stepped > Value ? stepped : Value));
    } else if (Value == 0) {
        FItems.clear();
        FItems.shrink_to_fit();
        // No item is left to carry a name; an index kept from before would put the names of the next
        // items behind stale ones, out of step with their positions.
        FItemNamesList.Clear();
    } else if (Value < ItemCount) {
        ResetSlots(Value, ItemCount);
    }
    ItemCount = Value;
}

TDirItem TCVDirArray::GetItem(int32_t Index) const {
    if (Index < 0 || Index >= ItemCount) throw ECVException(neDirGetIndex, nullptr);
    return FItems[static_cast<size_t>(Index)];
}

TDirItem& TCVDirArray::GetItemPtr(int32_t Index) {
    if (Index < 0 || Index >= ItemCount) throw ECVException(neDirItemIndex, nullptr);
    return FItems[static_cast<size_t>(Index)];
}

const TDirItem& TCVDirArray::GetItemPtr(int32_t Index) const {
    if (Index < 0 || Index >= ItemCount) throw ECVException(neDirItemIndex, nullptr);
    return FItems[static_cast<size_t>(Index)];
}

void TCVDirArray::SetItem(int32_t Index, const TDirItem& Value) {
    if (Index < 0 || Index >= ItemCount) throw ECVException(neDirPutIndex, nullptr);
    const std::u16string key = LowerCaseAscii(Value.Name);
    if (FItemNamesList.Count() > Index)
        FItemNamesList.Update(Index, key);
    else if (FItemNamesList.Count() == Index)
        FItemNamesList.Add(key);
    else
        throw ECVException(neNameIndexOnPut, nullptr);
    // Items hold their extra fields by value, so the stored copy owns its blocks.
    FItems[static_cast<size_t>(Index)] = Value;
}

void TCVDirArray::SetItemName(int32_t Index, const std::u16string& Name) {
    TDirItem& item = GetItemPtr(Index);
    if (Index == FItemNamesList.Count() && item.Name.empty()) {
        // A slot named for the first time is not in the index yet: an empty name found there belongs
        // to another item without a name, and must not make every item after that one unnameable.
        // Only a second item without a name is refused.
        if (Name.empty() && FItemNamesList.IndexOf(std::u16string()) >= 0) throw ECVException(neNameIndexOnRename, nullptr);
        FItemNamesList.Add(LowerCaseAscii(Name));
        item.Name = Name;
        return;
    }
    const int32_t found = FItemNamesList.IndexOf(LowerCaseAscii(item.Name));
    if (found < 0)
        FItemNamesList.Add(LowerCaseAscii(Name));
    else if (found == Index)
        FItemNamesList.Update(Index, LowerCaseAscii(Name));
    else
        throw ECVException(neNameIndexOnRename, nullptr);
    item.Name = Name;
}

bool TCVDirArray::FileExists(const std::u16string& FileName, int32_t& ItemNo) {
    ItemNo = FItemNamesList.IndexOf(LowerCaseAscii(FileName));
    return ItemNo >= 0;
}

void TCVDirArray::DeleteItem(int32_t Index) {
    if (Index < 0 || Index >= ItemCount) throw ECVException(neDirDeleteIndex, nullptr);
    const std::u16string key = LowerCaseAscii(FItems[static_cast<size_t>(Index)].Name);
    // The item's own entry is at Index; asking the hash instead would name the last of several equal
    // names and, with others in between, shift every index behind it out of step with the items.
    if (Index < FItemNamesList.Count() && FItemNamesList.Strings(Index) == key) {
        FItemNamesList.Delete(Index);
    } else {
        const int32_t found = FItemNamesList.IndexOf(key);
        if (found >= 0) FItemNamesList.Delete(found);
    }
    std::move(FItems.begin() + Index + 1, FItems.begin() + ItemCount, FItems.begin() + Index);
    SetCount(ItemCount - 1);
}

void TCVDirArray::Clear() {
    ResetSlots(0, ItemCount);
    ItemCount = 0;
    FItemNamesList.Clear();
}

void TCVDirArray::Assign(const TCVDirArray& Other) {
    if (&Other == this) return;
    Clear();
    SetCount(Other.Count());
    for (int32_t i = 0; i < Other.Count(); ++i) SetItem(i, Other.FItems[static_cast<size_t>(i)]);
}

void TCVDirArray::Append(const TCVDirArray& Other) {
    const int32_t n = ItemCount;
    const int32_t added = Other.Count();
    if (static_cast<int64_t>(n) + added > INT32_MAX) throw ECVException(neDirPutIndex, nullptr);
    SetCount(n + added);
    // Other may be this very array: its first `added` items are read before they could change.
    for (int32_t i = 0; i < added; ++i) SetItem(n + i, TDirItem(Other.FItems[static_cast<size_t>(i)]));
}

void TCVDirArray::ClearTags() {
    for (int32_t i = 0; i < ItemCount; ++i) FItems[static_cast<size_t>(i)].Tagged = false;
}
