// Stored names between the engine's UTF-16 and the bytes in local and central headers.
//
// Writing: a name that survives the ANSI code page unchanged is stored in it (and, with OEMFileNames,
// in the OEM code page); any other name is stored as UTF-8 with flag bit 11. Reading: OEM back to
// ANSI for names without bit 11, then UTF-8 when the bytes are valid UTF-8 with a multi-byte sequence
// (other tools write UTF-8 without the flag), else the ANSI code page; a name carried in an extra
// field replaces that when the field checks out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/format/CVExtraFields.h"
#include "engine/format/CVZipRecords.h"

class TComponent;

// nameLength is 16 bits wide.
inline constexpr size_t CVMaxStoredNameLength = 0xFFFF;

// The header bytes of `name`. Sets CVFlagUtf8Name in `genPurposeFlag` when it stores UTF-8 and leaves
// the bit as it was otherwise; converts to OEM when `oemNames` is on and the bit is clear. A name whose
// bytes would not fit nameLength is refused with neNameTooLong ("File name is too long") rather than
// written with a length that wraps and corrupts every record behind it.
std::string EncodeStoredName(const std::u16string& name, uint16_t& genPurposeFlag, bool oemNames,
                             const TComponent* component = nullptr);

// The name the header bytes spell, before extra fields are consulted.
std::u16string DecodeHeaderName(std::string_view bytes, uint16_t genPurposeFlag, bool oemNames);

// The name in a Unicode Path field (ID 0x7075: version 1, CRC-32 of the raw header name, UTF-8 name).
// False, leaving `name` alone, unless the field is well formed, its CRC matches `rawName` (so it was
// written for this very name and not left behind by a rename) and its name is valid, non-empty UTF-8.
bool UnicodePathName(const TCVExtraFieldDataBlock& field, std::string_view rawName, std::u16string& name);

// The entry's name as the central directory gives it: DecodeHeaderName, then a matching Unicode Path
// field, then a Unicode name field (ID 0x554E) with the right marker, the later one winning.
std::u16string DecodeStoredName(std::string_view rawName, uint16_t genPurposeFlag, bool oemNames,
                                const TCVExtraFields& extraFields);
