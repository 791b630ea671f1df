#include "engine/format/CVStringHash.h"

#include <random>

TCVStringHash::TCVStringHash(uint32_t aSize) : FBuckets(aSize == 0 ? 1 : aSize, nullptr), FSize(aSize == 0 ? 1 : aSize) {}

TCVStringHash::~TCVStringHash() { Clear(); }

uint32_t TCVStringHash::ComputeHash(const std::u16string& Key) const {
    uint32_t h = 0;
    for (char16_t c : Key) h = ((h << 2) | (h >> 30)) ^ c;
    return h;
}

void TCVStringHash::Add(const std::u16string& Key, int32_t Value) {
    THashItem*& head = FBuckets[ComputeHash(Key) % FSize];
    head = new THashItem{head, Key, Value};
}

THashItem** TCVStringHash::LocateItem(const std::u16string& Key) {
    THashItem** link = &FBuckets[ComputeHash(Key) % FSize];
    while (*link && (*link)->Key != Key) link = &(*link)->Next;
    return link;
}

int32_t TCVStringHash::ValueOf(const std::u16string& Key) {
    THashItem* item = *LocateItem(Key);
    return item ? item->Value : -1;
}

bool TCVStringHash::Modify(const std::u16string& Key, int32_t Value) {
    THashItem* item = *LocateItem(Key);
    if (!item) return false;
    item->Value = Value;
    return true;
}

void TCVStringHash::Remove(const std::u16string& Key) {
    THashItem** link = LocateItem(Key);
    if (THashItem* item = *link) {
        *link = item->Next;
        delete item;
    }
}

void TCVStringHash::Clear() {
    // Iterative on purpose: a bucket may hold a very long chain.
    for (THashItem*& head : FBuckets) {
        while (head) {
            THashItem* next = head->Next;
            delete head;
            head = next;
        }
    }
}

namespace {

uint64_t ProcessHashKey() {
    static const uint64_t key = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device() ^ 0x9E3779B97F4A7C15ull;
    }();
    return key;
}

}  // namespace

uint32_t TCVSeededStringHash::ComputeHash(const std::u16string& Key) const {
    // Multiply-xorshift per code unit, finished with a full avalanche: every bit of the result depends
    // on the secret key, so colliding names cannot be worked out from outside the process.
    uint64_t h = ProcessHashKey() ^ (Key.size() * 0xFF51AFD7ED558CCDull);
    for (char16_t c : Key) {
        h = (h ^ c) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<uint32_t>(h);
}
