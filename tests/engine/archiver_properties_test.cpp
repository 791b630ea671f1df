// The archiver's defaults and property rules, without an archive on disk.
#include <gtest/gtest.h>

#include "engine/Corvane.h"
#include "platform/Platform.h"
#include "support/EngineErrors.h"

namespace {

using testing_support::NativeErrorOf;

// Exposes the format switch, which only the archiver's own units read.
class ProbeArchiver : public TCorvane {
public:
    bool ZipFormat() const { return isZIPFormat; }
};

TEST(ArchiverProperties, ConstructionDefaults) {
    ProbeArchiver a;
    EXPECT_TRUE(a.ZipFormat());
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.BaseDir(), u"");
    EXPECT_EQ(a.Comment(), "");
    EXPECT_EQ(a.CompressionLevel(), clFastest);
    EXPECT_EQ(a.CompressionMode(), 1);
    EXPECT_EQ(a.CompressionMethod(), 8);
    EXPECT_EQ(a.CurrentVersion(), u"6.30 ");
    EXPECT_EQ(a.EncryptionMethod(), caPkzipClassic);
    EXPECT_TRUE(a.ExclusionMasks().empty());
    EXPECT_TRUE(a.FileMasks().empty());
    EXPECT_TRUE(a.NoCompressionMasks().empty());
    EXPECT_FALSE(a.ExtractCorruptedFiles());
    EXPECT_EQ(a.FileName(), u"");
    EXPECT_FALSE(a.Exists());
    EXPECT_FALSE(a.InMemory());
    EXPECT_FALSE(a.InUpdate());
    EXPECT_TRUE(a.OpenCorruptedArchives());
    EXPECT_EQ(a.Password(), "");
    EXPECT_EQ(a.SFXStub(), u"");
    EXPECT_EQ(a.SpanningMode(), smNone);
    EXPECT_EQ(a.TempDir(), u"");
    EXPECT_FALSE(a.UnicodeFilenames());
    EXPECT_EQ(a.Zip64Mode(), zmDisabled);
    EXPECT_EQ(a.DMHandle(), nullptr);
    EXPECT_EQ(a.CompressedStream(), nullptr);

    const TCVOptions& o = a.Options();
    EXPECT_EQ(o.StorePath(), spRelativePath);
    EXPECT_TRUE(o.Recurse());
    EXPECT_EQ(o.ShareMode(), smShareDenyNone);
    EXPECT_EQ(o.OverwriteMode(), omAlways);
    EXPECT_TRUE(o.CreateDirs());
    EXPECT_TRUE(o.ReplaceReadOnly());
    EXPECT_TRUE(o.SetAttributes());
    EXPECT_EQ(o.SearchAttr(), 0x28BF);
    EXPECT_TRUE(o.FlushBuffers());
    EXPECT_TRUE(o.OEMFileNames());

    TCVSpanningOptions& s = a.SpanningOptions();
    EXPECT_FALSE(s.AdvancedNaming());
    EXPECT_EQ(s.FirstVolumeSize(), 0);
    EXPECT_EQ(s.VolumeSize(), vsAutoDetect);
    EXPECT_EQ(s.CustomVolumeSize(), 0);
    EXPECT_FALSE(s.SaveDirToFirstVolume());
    EXPECT_EQ(a.VolumeNumberInfo().VolumeNumber(), 0);
}

TEST(ArchiverProperties, BaseClassKnowsNoFormat) {
    TCVBaseArchiver base;
    EXPECT_EQ(base.Zip64Mode(), zmAuto);
    EXPECT_EQ(base.CompressionMode(), 1);
    EXPECT_EQ(base.CompressionMethod(), 0xFFFF);
}

TEST(ArchiverProperties, OwnerAndNameReachTheErrorText) {
    TCorvane owner;
    TCorvane a(&owner);
    EXPECT_EQ(a.Owner(), &owner);
    a.SetName(u"Archiver");
    try {
        a.Size();
        FAIL() << "Size of a closed archive must fail";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.Message(), u"Archiver: Archive is not open - Native error: 00013");
    }
}

TEST(ArchiverProperties, CompressionModeSetsLevelAndMethod) {
    struct Case {
        uint8_t mode;
        TCVCompressionLevel level;
        uint16_t method;
    };
    const Case cases[] = {{0, clNone, 0},   {1, clFastest, 8}, {3, clFastest, 8}, {4, clNormal, 8},
                          {5, clNormal, 8}, {6, clNormal, 8},  {7, clMax, 8},     {9, clMax, 8}};
    for (const Case& c : cases) {
        TCorvane a;
        a.SetCompressionMode(c.mode);
        EXPECT_EQ(a.CompressionMode(), c.mode);
        EXPECT_EQ(a.CompressionLevel(), c.level) << "mode " << int(c.mode);
        EXPECT_EQ(a.CompressionMethod(), c.method) << "mode " << int(c.mode);
    }
}

TEST(ArchiverProperties, CompressionLevelSetsMode) {
    struct Case {
        TCVCompressionLevel level;
        uint8_t mode;
        uint16_t method;
    };
    const Case cases[] = {{clNone, 0, 0}, {clFastest, 1, 8}, {clNormal, 6, 8}, {clMax, 9, 8}};
    for (const Case& c : cases) {
        TCorvane a;
        a.SetCompressionLevel(c.level);
        EXPECT_EQ(a.CompressionLevel(), c.level);
        EXPECT_EQ(a.CompressionMode(), c.mode);
        EXPECT_EQ(a.CompressionMethod(), c.method);
    }
}

TEST(ArchiverProperties, InvalidModeRaisesFiveAndChangesNothing) {
    TCorvane a;
    a.SetCompressionMode(4);
    EXPECT_EQ(NativeErrorOf([&] { a.SetCompressionMode(10); }), neCompressionMode);
    EXPECT_EQ(NativeErrorOf([&] { a.SetCompressionMode(255); }), neCompressionMode);
    EXPECT_EQ(NativeErrorOf([&] { a.SetCompressionLevel(static_cast<TCVCompressionLevel>(7)); }), neCompressionMode);
    EXPECT_EQ(a.CompressionMode(), 4);
    EXPECT_EQ(a.CompressionLevel(), clNormal);
    EXPECT_EQ(a.CompressionMethod(), 8);
}

TEST(ArchiverProperties, StreamedLevelThenModeEndsWithBoth) {
    TCorvane a;
    a.SetCompressionLevel(clMax);
    a.SetCompressionMode(9);
    EXPECT_EQ(a.CompressionLevel(), clMax);
    EXPECT_EQ(a.CompressionMode(), 9);
    EXPECT_EQ(a.CompressionMethod(), 8);
}

TEST(ArchiverProperties, ClosedArchiveRefusesWhatNeedsOne) {
    TCorvane a;
    EXPECT_EQ(a.Comment(), "");
    EXPECT_EQ(NativeErrorOf([&] { a.Size(); }), neArchiveNotOpen);
    EXPECT_EQ(NativeErrorOf([&] { a.SetComment("x"); }), neArchiveNotOpen);
    EXPECT_EQ(NativeErrorOf([&] { a.CheckActive(); }), neArchiveNotOpen);
    EXPECT_NO_THROW(a.CheckNotInUpdate());
    EXPECT_NO_THROW(a.CheckModifiable());
    EXPECT_NO_THROW(a.CloseArchive());
    EXPECT_NO_THROW(a.SetActive(false));
}

TEST(ArchiverProperties, SpanningModeIsFixedWhileOpen) {
    platform::MemoryStream stream;   // a caller's stream outlives the archive that uses it
    TCorvane a;
    a.SetSpanningMode(smSplitting);
    EXPECT_EQ(a.SpanningMode(), smSplitting);
    a.SetSpanningMode(smNone);

    a.OpenArchive(&stream, true);
    for (TCVSpanningMode mode : {smNone, smSpanning}) {
        try {
            a.SetSpanningMode(mode);
            ADD_FAILURE() << "setting the spanning mode on an open archive must fail";
        } catch (const ECVException&) {
            ADD_FAILURE() << "the refusal is the platform's plain exception";
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.Message(), u"Cannot set spanning mode on open archive");
        }
    }
    EXPECT_EQ(a.SpanningMode(), smNone);
}

TEST(ArchiverProperties, CustomVolumeSizeHasAFloor) {
    TCorvane a;
    a.SpanningOptions().SetCustomVolumeSize(1000);
    EXPECT_EQ(a.SpanningOptions().CustomVolumeSize(), 65536);
    a.SpanningOptions().SetCustomVolumeSize(65537);
    EXPECT_EQ(a.SpanningOptions().CustomVolumeSize(), 65537);
}

}  // namespace
