#include "engine/format/CVHashedStringList.h"

#include <algorithm>
#include <stdexcept>

#include "engine/util/CVStrFunc.h"

namespace {

// Keeps chains short on average; beyond it a bigger table pays for its rebuild.
constexpr int64_t MaxStringsPerBucket = 5;
constexpr uint32_t MinValueBuckets = 1000;
constexpr uint32_t NameBuckets = 256;

}  // namespace

TCVHashedStringList::TCVHashedStringList() = default;
TCVHashedStringList::~TCVHashedStringList() = default;

std::u16string TCVHashedStringList::HashKey(const std::u16string& S) { return LowerCaseAscii(S); }

void TCVHashedStringList::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("string list index out of bounds");
}

int32_t TCVHashedStringList::Add(const std::u16string& S) {
    FStrings.push_back(S);
    const auto index = static_cast<int32_t>(FStrings.size() - 1);
    if (FValueHash) {
        if (FValueHashValid) FValueHash->Add(HashKey(S), index);
        if (static_cast<int64_t>(FStrings.size()) > MaxStringsPerBucket * FValueHash->Size()) {
            FValueHash.reset();
            FValueHashValid = false;
        }
    }
    // The name hash is not kept in step by Add; it is rebuilt on its next use.
    FNameHashValid = false;
    return index;
}

void TCVHashedStringList::Update(int32_t Index, const std::u16string& NewValue) {
    CheckIndex(Index);
    if (FValueHash && FValueHashValid) {
        const std::u16string oldKey = HashKey(FStrings[static_cast<size_t>(Index)]);
        // With equal strings elsewhere in the list the first match of the old key may belong to
        // another index; removing it would leave the hash pointing at the wrong string.
        if (FValueHash->ValueOf(oldKey) == Index) {
            FValueHash->Remove(oldKey);
            FValueHash->Add(HashKey(NewValue), Index);
        } else {
            FValueHashValid = false;
        }
    }
    FStrings[static_cast<size_t>(Index)] = NewValue;
    FNameHashValid = false;
}

void TCVHashedStringList::Delete(int32_t Index) {
    CheckIndex(Index);
    FStrings.erase(FStrings.begin() + Index);
    FValueHashValid = false;
    FNameHashValid = false;
}

void TCVHashedStringList::Clear() {
    FStrings.clear();
    if (FValueHash) FValueHash->Clear();
    FNameHashValid = false;
}

void TCVHashedStringList::PrepareValueHash() {
    if (FValueHash && FValueHashValid) return;
    if (!FValueHash)
        FValueHash = std::make_unique<TCVSeededStringHash>(
            std::max<uint32_t>(static_cast<uint32_t>(FStrings.size()), MinValueBuckets));
    else
        FValueHash->Clear();
    for (size_t i = 0; i < FStrings.size(); ++i) FValueHash->Add(HashKey(FStrings[i]), static_cast<int32_t>(i));
    FValueHashValid = true;
}

int32_t TCVHashedStringList::IndexOf(const std::u16string& S) {
    PrepareValueHash();
    return FValueHash->ValueOf(HashKey(S));
}

void TCVHashedStringList::PrepareNameHash() {
    if (FNameHash && FNameHashValid) return;
    if (!FNameHash)
        FNameHash = std::make_unique<TCVSeededStringHash>(NameBuckets);
    else
        FNameHash->Clear();
    for (size_t i = 0; i < FStrings.size(); ++i) {
        const size_t eq = FStrings[i].find(u'=');
        if (eq != std::u16string::npos) FNameHash->Add(HashKey(FStrings[i].substr(0, eq)), static_cast<int32_t>(i));
    }
    FNameHashValid = true;
}

int32_t TCVHashedStringList::IndexOfName(const std::u16string& Name) {
    PrepareNameHash();
    return FNameHash->ValueOf(HashKey(Name));
}
