// TCVStringHash: a bucket hash from string to integer, the engine's name index underneath
// TCVHashedStringList. Equal keys may be added more than once; a lookup finds the one added last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct THashItem {
    THashItem* Next = nullptr;
    std::u16string Key;
    int32_t Value = 0;
};

class TCVStringHash {
public:
    // A bucket count of 0 is taken as 1.
    explicit TCVStringHash(uint32_t aSize);
    virtual ~TCVStringHash();
    TCVStringHash(const TCVStringHash&) = delete;
    TCVStringHash& operator=(const TCVStringHash&) = delete;

    // Rotate-xor over the UTF-16 code units: h := rotl(h, 2) xor c, starting from 0.
    virtual uint32_t ComputeHash(const std::u16string& Key) const;

    // Puts the pair at the head of its bucket, without looking for an equal key.
    void Add(const std::u16string& Key, int32_t Value);
    // The value of the first item whose key equals Key code unit for code unit; -1 when none.
    int32_t ValueOf(const std::u16string& Key);
    // Sets the first match's value; false when there is none.
    bool Modify(const std::u16string& Key, int32_t Value);
    // Unlinks and frees the first match, if any.
    void Remove(const std::u16string& Key);
    // Frees every item; the bucket count stays.
    void Clear();

    uint32_t Size() const noexcept { return FSize; }
    // Bucket heads, for inspection.
    const std::vector<THashItem*>& Buckets() const noexcept { return FBuckets; }

protected:
    // The link that points at the first item with Key, or at the terminating null of its bucket.
    THashItem** LocateItem(const std::u16string& Key);

private:
    std::vector<THashItem*> FBuckets;
    uint32_t FSize;
};

// The hash the directory's name index uses. Stored names come from archives, so whoever made the
// archive chooses them; rotate-xor is linear in the bits of the key, and a few thousand names that all
// land in one bucket are easy to make, turning every lookup into a walk over all of them. This variant
// mixes each code unit with a key chosen once per process, so no archive can aim at one bucket.
class TCVSeededStringHash : public TCVStringHash {
public:
    using TCVStringHash::TCVStringHash;
    uint32_t ComputeHash(const std::u16string& Key) const override;
};
