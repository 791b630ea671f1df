// TCVHashedStringList: an unsorted list of strings, duplicates allowed, that answers "where is this
// string?" through a hash built on demand. The list is case-insensitive for the letters A to Z only,
// so both hashes key on the ASCII-lower-cased strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/CVStringHash.h"

class TCVHashedStringList {
public:
    TCVHashedStringList();
    virtual ~TCVHashedStringList();
    TCVHashedStringList(const TCVHashedStringList&) = delete;
    TCVHashedStringList& operator=(const TCVHashedStringList&) = delete;

    // Appends S; returns its index. A valid value hash is kept in step, unless the list has outgrown
    // it (more than five strings per bucket): then it is dropped and the next IndexOf builds a larger
    // one.
    virtual int32_t Add(const std::u16string& S);
    // Replaces string Index, keeping a valid value hash in step.
    void Update(int32_t Index, const std::u16string& NewValue);
    // Deletes string Index; both hashes are rebuilt on their next use.
    virtual void Delete(int32_t Index);
    // Empties the list and the value hash (which stays valid, being empty like the list).
    virtual void Clear();
    // The index of S (found in the hash: after a rebuild, the last of equal strings); -1 when absent.
    virtual int32_t IndexOf(const std::u16string& S);
    // The index of a "name=value" string whose name part is Name (after a rebuild, the last such);
    // -1 when absent. Strings without "=" have no name part.
    virtual int32_t IndexOfName(const std::u16string& Name);

    int32_t Count() const noexcept { return static_cast<int32_t>(FStrings.size()); }
    const std::u16string& Strings(int32_t Index) const { return FStrings.at(static_cast<size_t>(Index)); }

    // For inspection: the value hash (null until the first IndexOf) and whether it matches the list.
    const TCVStringHash* ValueHash() const noexcept { return FValueHash.get(); }
    bool ValueHashValid() const noexcept { return FValueHashValid; }
    const TCVStringHash* NameHash() const noexcept { return FNameHash.get(); }

private:
    static std::u16string HashKey(const std::u16string& S);
    void CheckIndex(int32_t Index) const;
    void PrepareValueHash();
    void PrepareNameHash();

    std::vector<std::u16string> FStrings;
    std::unique_ptr<TCVStringHash> FValueHash;
    std::unique_ptr<TCVStringHash> FNameHash;
    bool FValueHashValid = true;
    bool FNameHashValid = false;
};
