// The archive engine's public header: everything a host needs.
//
//   TCorvane archiver;                       // or TCorvane(owner)
//   archiver.SetFileName(u"/tmp/x.zip");
//   archiver.OpenArchive(cvOpenCreate);
//   archiver.SetBaseDir(u"/home/me/photos");
//   archiver.AddFiles(u"*.*", 0x28BF, u"");
//   archiver.CloseArchive();
//
// Failures the engine detects raise ECVException (ErrorCode, NativeError); failures of the platform
// (a file that cannot be created, say) raise platform::Exception.
#pragma once

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/archiver/CVOptions.h"
#include "engine/extract/CVArchiveItem.h"
#include "engine/util/CVStrFunc.h"
#include "engine/util/CVTypes.h"

// The ZIP archiver: the base component set up for the ZIP format, with Zip64 off unless asked for.
class TCorvane : public TCVBaseArchiver {
public:
    explicit TCorvane(TComponent* AOwner = nullptr);
    ~TCorvane() override;
    void SetPassword(const std::string& Value) override;
    void UpdateCompressionMethod() override;
};

// Sets Archiver up as both programs' forms store it: named "Archiver", deflating at the highest level,
// no spanning, no Zip64, OEM names, flushed writes, compatible sharing. The one value in which the
// two programs differ is whether names also go into a Unicode extra field.
void SetUpFormArchiver(TCorvane& Archiver, bool UnicodeFilenames);
