#include "engine/format/CVDirManager.h"

#include "engine/base/CVComponent.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVStreamWindow.h"
#include "platform/Platform.h"

TCVDirManager::TCVDirManager(platform::Stream* Stream, TCVDirHost* Arc, bool bCreate)
    : FCompressedStream(Stream), FArc(Arc) {
    FIsCustomStream = !FArc || Stream != FArc->DirArchiveStream();
    ClearDir();
    if (bCreate && FArc) {
        FArc->DirSetFirstVolume();
        if (!FArc->DirSFXStub().empty()) WriteStub();
    }
}

TCVDirManager::~TCVDirManager() = default;

void TCVDirManager::SetStream(platform::Stream* Stream) {
    FCompressedStream = Stream;
    FIsCustomStream = !FArc || Stream != FArc->DirArchiveStream();
    FWindow.reset();
}

const TComponent* TCVDirManager::Component() const {
    // The archiver is a component as well as a host; a plain host has no name to show.
    return dynamic_cast<const TComponent*>(FArc);
}

bool TCVDirManager::MultiVolume() const { return FArc && FArc->DirSpanningMode() != smNone; }

TCVStreamWindow& TCVDirManager::Window() {
    if (!FWindow) FWindow = std::make_unique<TCVStreamWindow>(*FCompressedStream);
    return *FWindow;
}

void TCVDirManager::ClearDir() {
    CDir.SetCount(0);
    CentralDirEnd = TCVZipCentralDirEnd{};
    CentralDirEnd.signature = CVCentralDirEndSignature;
}

void TCVDirManager::WriteStub() {
    platform::FileStream stub(FArc->DirSFXStub(), platform::fmOpenRead | platform::fmShareDenyNone);
    const int64_t size = stub.Size();
    const int64_t limit = FArc->DirFirstVolumeSizeLimit();
    if (MultiVolume() && limit > 0 && limit < size) throw ECVException(neStubExceedsVolume, Component());
    FCompressedStream->SetSize(0);
    FCompressedStream->SetPosition(0);
    if (size > 0) FCompressedStream->CopyFrom(stub, 0);
    StubSize = size;
}

bool TCVDirManager::IsEncrypted() const {
    return CDir.Count() > 0 && (CDir.GetItemPtr(0).CentralDir.genPurposeFlag & CVFlagEncrypted) != 0;
}
