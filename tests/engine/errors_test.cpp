// ECVException: composed texts, the numbers it carries, and the tables behind them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/base/CVComponent.h"
#include "engine/base/CVConst.h"
#include "engine/base/CVExcept.h"

namespace {

struct MessageCase {
    const char* what;
    int32_t native;
    std::optional<TCVFormatArgs> args;   // none: the constructor without arguments
    const char16_t* componentName;       // null: no component
    std::u16string text;
    int32_t errorCode;
};

TEST(ECVException, ComposesTextFromTablesComponentAndNativeNumber) {
    const MessageCase cases[] = {
        {"named component, string argument", 12, TCVFormatArgs{u"C:\\a.zip"}, u"Archiver",
         u"Archiver: File \"C:\\a.zip\" not found - Native error: 00012", 6},
        {"unnamed component", 62, std::nullopt, u"",
         u"Multiple transactions are not supported for multi-volume archives - Native error: 00062", 37},
        {"no component", 62, std::nullopt, nullptr,
         u"Multiple transactions are not supported for multi-volume archives - Native error: 00062", 37},
        {"native error outside the table", 99, std::nullopt, nullptr,
         u"Unknown error - Native error: 00099", 0},
        {"six digits printed in full", 123456, std::nullopt, nullptr,
         u"Unknown error - Native error: 123456", 0},
        {"native 0 is a reserved row", 0, std::nullopt, u"Archiver",
         u"Archiver: Unknown error - Native error: 00000", 0},
        {"two integers", 34, TCVFormatArgs{int64_t{10}, int64_t{-7}}, u"Archiver",
         u"Archiver: Invalid compressed size, rfs.size = 10, count = -7 - Native error: 00034", 17},
        {"name on a line of its own", 61, TCVFormatArgs{u"a/b.txt"}, nullptr,
         u"File name is too long: \r\n\"a/b.txt\" - Native error: 00061", 36},
        {"surplus arguments ignored", 36, TCVFormatArgs{u"x.bin", u"extra", int64_t{5}}, nullptr,
         u"Cannot create output file. Probably file is locked by another process. FileName = 'x.bin'. "
         u"- Native error: 00036", 19},
        {"an argument is never formatted again", 12, TCVFormatArgs{u"%s%d%%", u"next"}, nullptr,
         u"File \"%s%d%%\" not found - Native error: 00012", 6},
        {"a missing argument leaves the placeholder", 12, TCVFormatArgs{}, nullptr,
         u"File \"%s\" not found - Native error: 00012", 6},
        {"message of the last code", 67, std::nullopt, nullptr,
         u"Invalid password. Cannot decompress encrypted file. - Native error: 00067", 40},
        {"spelling kept as shipped", 37, std::nullopt, nullptr,
         u"Archive is open. You should close it beore performing this operation. - Native error: 00037", 20},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<TComponent> component;
        if (c.componentName) {
            component.emplace();
            component->SetName(c.componentName);
        }
        const TComponent* raiser = component ? &*component : nullptr;
        try {
            if (c.args)
                throw ECVException(c.native, *c.args, raiser);
            else
                throw ECVException(c.native, raiser);
        } catch (const platform::Exception& e) {
            // Callers that only know the platform's base class still get the whole text.
            EXPECT_EQ(e.Message(), c.text);
            const auto* engineError = dynamic_cast<const ECVException*>(&e);
            ASSERT_NE(engineError, nullptr);
            EXPECT_EQ(engineError->ErrorCode(), c.errorCode);
            EXPECT_EQ(engineError->NativeError(), c.native);
        }
    }
}

TEST(ECVException, WhatGivesTheTextAsUtf8) {
    TComponent archiver;
    archiver.SetName(u"Archiver");
    ECVException e(12, {u"한글.zip"}, &archiver);
    EXPECT_STREQ(e.what(), "Archiver: File \"\xED\x95\x9C\xEA\xB8\x80.zip\" not found - Native error: 00012");
}

TEST(ECVConst, EveryNativeRowSelectsAMessageAndKeepsItsNumber) {
    for (size_t i = 0; i < CVNativeErrorCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(CVNativeErrors[i].NativeError, static_cast<int32_t>(i));
        EXPECT_GE(CVNativeErrors[i].ErrorCode, 0);
        EXPECT_LT(CVNativeErrors[i].ErrorCode, static_cast<int32_t>(CVErrorMessageCount));
    }
    EXPECT_EQ(ErrorMessageOfCode(-1), u"Unknown error");
    EXPECT_EQ(ErrorMessageOfCode(static_cast<int32_t>(CVErrorMessageCount)), u"Unknown error");
}

}  // namespace
