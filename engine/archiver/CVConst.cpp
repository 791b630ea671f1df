#include "engine/archiver/CVConst.h"

// The wording is part of what users and hosts see (and may match on), so it stays exactly as shipped,
// spelling slips included.
const std::u16string_view CVErrorMessages[CVErrorMessageCount] = {
    u"Unknown error",
    u"Index out of bounds",
    u"Invalid compression mode. Mode must be in [0-9] range",
    u"Unexpected nil pointer",
    u"Invalid size or check sum of file or unsupported compression format",
    u"File name is blank. Specify appropriate file name",
    u"File \"%s\" not found",
    u"Archive is not open",
    u"SFXStub property is not specified",
    u"Cannot create file \"%s\"",
    u"Cannot create directory \"%s\"",
    u"Internal error. Update is not started",
    u"Cannot open file \"%s\"",
    u"Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    u"Cannot delete file \"%s\"",
    u"In-memory archive can be created only",
    u"File is open in read-only mode",
    u"Invalid compressed size, rfs.size = %d, count = %d",
    u"Invalid archive file.",
    u"Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    u"Archive is open. You should close it beore performing this operation.",
    u"Unable to create directory",
    u"Cannot find 64-bit directory end record",
    u"Cannot compress file '%s'. Zip64 mode is not enabled",
    u"Cannot open archive file. Opening aborted or invalid file",
    u"Write to stream error",
    u"Cannot place SFX stub on volume. Volume size limit is too small",
    u"Archive is damaged. Open failed",
    u"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation "
    u"instead of MakeSFX",
    u"Archive already has SFX stub",
    u"Multi-volume archive is not allowed for custom stream",
    u"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add "
    u"files several times",
    u"Deflate64 compression method is not supported",
    u"MakeSFX error",
    u"Hashed list of file names is invalid",
    u"Cannot delete folder \"%s\"",
    // The name goes on a line of its own: it is the long part.
    u"File name is too long: \r\n\"%s\"",
    u"Multiple transactions are not supported for multi-volume archives",
    u"Invalid InitVector index = %d. Index should be >= 0 and < %d",
    u"Disk is full. There is not enough free space on disk.",
    u"Invalid password. Cannot decompress encrypted file.",
};

const TCVNativeError CVNativeErrors[CVNativeErrorCount] = {
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 2},   {6, 3},   {7, 1},   {8, 4},
    {9, 5},   {10, 5},  {11, 6},  {12, 6},  {13, 7},  {14, 7},  {15, 6},  {16, 1},  {17, 8},
    {18, 6},  {19, 9},  {20, 10}, {21, 1},  {22, 11}, {23, 9},  {24, 1},  {25, 11}, {26, 13},
    {27, 14}, {28, 15}, {29, 5},  {30, 6},  {31, 6},  {32, 16}, {33, 12}, {34, 17}, {35, 18},
    {36, 19}, {37, 20}, {38, 6},  {39, 21}, {40, 22}, {41, 23}, {42, 6},  {43, 23}, {44, 24},
    {45, 24}, {46, 25}, {47, 26}, {48, 27}, {49, 28}, {50, 29}, {51, 30}, {52, 31}, {53, 6},
    {54, 6},  {55, 32}, {56, 33}, {57, 27}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37},
    {63, 38}, {64, 38}, {65, 39}, {66, 39}, {67, 40},
};

int32_t ErrorCodeOfNative(int32_t nativeError) {
    for (const TCVNativeError& row : CVNativeErrors)
        if (row.NativeError == nativeError) return row.ErrorCode;
    return 0;
}

std::u16string_view ErrorMessageOfCode(int32_t errorCode) {
    if (errorCode < 0 || static_cast<size_t>(errorCode) >= CVErrorMessageCount) return CVErrorMessages[0];
    return CVErrorMessages[errorCode];
}
