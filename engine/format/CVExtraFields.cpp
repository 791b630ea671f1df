#include "engine/format/CVExtraFields.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "engine/base/CVExcept.h"
#include "engine/util/CVCoding.h"
#include "platform/Platform.h"

TCVExtraFieldDataBlock MakeExtraField(uint16_t headerID, std::vector<uint8_t> data) {
    if (data.size() > CVMaxExtraDataSize) throw std::length_error("extra field data exceeds 65535 bytes");
    TCVExtraFieldDataBlock block;
    block.headerID = headerID;
    block.dataSize = static_cast<uint16_t>(data.size());
    block.data = std::move(data);
    return block;
}

TCVExtraFields ParseExtraFields(const uint8_t* area, size_t length) {
    TCVExtraFields fields;
    size_t k = 0;
    while (length - k >= CVExtraHeaderSize) {
        TCVExtraFieldDataBlock block;
        block.headerID = DecodeFixed16(area + k);
        size_t size = DecodeFixed16(area + k + 2);
        k += CVExtraHeaderSize;
        // A size running past the area is cut to what the area holds; that block is then the last.
        if (size > length - k) size = length - k;
        block.dataSize = static_cast<uint16_t>(size);
        block.data.assign(area + k, area + k + size);
        k += size;
        fields.push_back(std::move(block));
    }
    return fields;
}

size_t ExtraFieldsLength(const TCVExtraFields& fields) {
    size_t total = 0;
    for (const TCVExtraFieldDataBlock& field : fields) total += CVExtraHeaderSize + field.data.size();
    return total;
}

void AppendExtraField(std::vector<uint8_t>& out, const TCVExtraFieldDataBlock& field) {
    if (field.dataSize != field.data.size())
        throw std::logic_error("extra field dataSize does not match its data");
    PutFixed16(out, field.headerID);
    PutFixed16(out, field.dataSize);
    out.insert(out.end(), field.data.begin(), field.data.end());
}

void AppendExtraFields(std::vector<uint8_t>& out, const TCVExtraFields& fields) {
    for (const TCVExtraFieldDataBlock& field : fields) AppendExtraField(out, field);
}

const TCVExtraFieldDataBlock* FindExtraField(const TCVExtraFields& fields, uint16_t headerID) {
    for (const TCVExtraFieldDataBlock& field : fields)
        if (field.headerID == headerID) return &field;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Zip64

std::optional<TCVExtraFieldDataBlock> MakeZip64CentralField(const TCVZipCentralDir& header,
                                                            const TCVZip64ExtendedInfo& info) {
    std::vector<uint8_t> data;
    if (header.unCompSize == CVSentinel32) PutFixed64(data, static_cast<uint64_t>(info.uncompSize));
    if (header.compSize == CVSentinel32) PutFixed64(data, static_cast<uint64_t>(info.compSize));
    if (header.relOffsetLH == CVSentinel32) PutFixed64(data, static_cast<uint64_t>(info.relOffsetLH));
    if (header.diskNumberStart == CVSentinel16) PutFixed32(data, info.diskNumberStart);
    if (data.empty()) return std::nullopt;
    return MakeExtraField(CVZip64ExtraID, std::move(data));
}

void EncodeZip64LocalField(uint8_t* out, int64_t uncompSize, int64_t compSize) {
    EncodeFixed16(out, CVZip64ExtraID);
    EncodeFixed16(out + 2, CVZip64LocalFieldSize - CVExtraHeaderSize);
    EncodeFixed64(out + 4, static_cast<uint64_t>(uncompSize));
    EncodeFixed64(out + 12, static_cast<uint64_t>(compSize));
}

std::vector<uint8_t> MakeLocalExtraArea(bool zip64Field, int64_t uncompSize, int64_t compSize,
                                        const TCVExtraFields& fields, const std::u16string& name,
                                        const TComponent* component) {
    std::vector<uint8_t> area;
    if (zip64Field) {
        area.resize(CVZip64LocalFieldSize);
        EncodeZip64LocalField(area.data(), uncompSize, compSize);
    }
    for (const TCVExtraFieldDataBlock& field : fields)
        if (field.headerID != CVZip64ExtraID) AppendExtraField(area, field);
    if (area.size() > CVMaxExtraDataSize) throw ECVException(neNameTooLong, {name}, component);
    return area;
}

bool ReadZip64ExtendedInfo(const TCVZipCentralDir& header, const TCVExtraFieldDataBlock& block,
                           TCVZip64ExtendedInfo& info) {
    const std::vector<uint8_t>& data = block.data;
    size_t r = 0;
    auto take64 = [&](int64_t& value) {
        if (data.size() - r < 8) return false;
        value = static_cast<int64_t>(DecodeFixed64(data.data() + r));
        r += 8;
        return true;
    };
    if (header.unCompSize == CVSentinel32 && !take64(info.uncompSize)) return false;
    if (header.compSize == CVSentinel32 && !take64(info.compSize)) return false;
    if (header.relOffsetLH == CVSentinel32 && !take64(info.relOffsetLH)) return false;
    if (header.diskNumberStart == CVSentinel16) {
        if (data.size() - r < 4) return false;
        info.diskNumberStart = DecodeFixed32(data.data() + r);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Unicode name

bool TUnicodeExtendedInfo::Load(const void* Data, size_t Size) {
    platform::MemoryStream stream;
    if (Size > 0) stream.WriteBuffer(Data, Size);
    return LoadFromStream(stream);
}

bool TUnicodeExtendedInfo::LoadFromStream(platform::Stream& Stream) {
    Stream.SetPosition(0);
    uint8_t head[8];
    if (Stream.Read(head, 4) != 4) return false;
    FAdditionalSignature = static_cast<int32_t>(DecodeFixed32(head));
    if (FAdditionalSignature != CVUnicodeNameMarker) return false;
    if (Stream.Read(head + 4, 4) != 4) return false;
    const int32_t count = static_cast<int32_t>(DecodeFixed32(head + 4));
    // The count comes from the archive: check it against the bytes actually there before sizing
    // anything by it.
    const int64_t available = Stream.Size() - Stream.Position();
    if (count < 0 || static_cast<int64_t>(count) * 2 > available) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 2);
    if (!bytes.empty()) Stream.ReadBuffer(bytes.data(), bytes.size());
    std::u16string name(static_cast<size_t>(count), u'\0');
    for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char16_t>(DecodeFixed16(&bytes[2 * i]));
    FName = std::move(name);
    return true;
}

void TUnicodeExtendedInfo::SaveToStream(platform::Stream& Stream) const {
    std::vector<uint8_t> bytes;
    bytes.reserve(8 + 2 * FName.size());
    PutFixed32(bytes, static_cast<uint32_t>(CVUnicodeNameMarker));
    PutFixed32(bytes, static_cast<uint32_t>(FName.size()));
    for (char16_t c : FName) PutFixed16(bytes, c);
    Stream.WriteBuffer(bytes.data(), bytes.size());
}

TCVExtraFieldDataBlock MakeUnicodeNameField(const std::u16string& name, const TComponent* component) {
    if (8 + 2 * name.size() > CVMaxExtraDataSize) throw ECVException(neNameTooLong, {name}, component);
    TUnicodeExtendedInfo info;
    info.FName = name;
    platform::MemoryStream stream;
    info.SaveToStream(stream);
    return MakeExtraField(CVUnicodeNameExtraID, std::move(stream.Data()));
}

// ---------------------------------------------------------------------------------------------------
// AES

TCVExtraFieldDataBlock TCVAesExtraInfo::ToBlock() const {
    std::vector<uint8_t> data;
    PutFixed16(data, version);
    PutFixed16(data, vendorID);
    data.push_back(strength);
    PutFixed16(data, compMethod);
    return MakeExtraField(CVAesExtraID, std::move(data));
}

bool TCVAesExtraInfo::FromBlock(const TCVExtraFieldDataBlock& block) {
    if (block.headerID != CVAesExtraID || block.data.size() < CVAesExtraDataSize) return false;
    const uint8_t* p = block.data.data();
    version = DecodeFixed16(p);
    vendorID = DecodeFixed16(p + 2);
    strength = p[4];
    compMethod = DecodeFixed16(p + 5);
    return true;
}

std::optional<TCVExtraFieldDataBlock> MakeExtendedTimeField(std::time_t modified) {
    if (modified < INT32_MIN || modified > INT32_MAX) return std::nullopt;
    std::vector<uint8_t> data{CVExtendedTimeModified};
    PutFixed32(data, static_cast<uint32_t>(static_cast<int32_t>(modified)));
    return MakeExtraField(CVExtendedTimeExtraID, std::move(data));
}

bool ReadExtendedTime(const TCVExtraFields& fields, std::time_t& modified) {
    const TCVExtraFieldDataBlock* block = FindExtraField(fields, CVExtendedTimeExtraID);
    if (!block || block->data.size() < 5 || !(block->data[0] & CVExtendedTimeModified)) return false;
    modified = static_cast<int32_t>(DecodeFixed32(block->data.data() + 1));
    return true;
}
