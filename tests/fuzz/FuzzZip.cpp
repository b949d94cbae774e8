// A received attachment, unpacked as the mail receiver does; then every entry of it extracted, as
// the zip reader does wherever it extracts.
#include "FuzzSupport.h"

#include "MailFiles.h"
#include "ZipBundle.h"
#include "ZipException.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string out = QFile::encodeName(EmptyFolder()).toStdString();
    std::string refusal;
    static_cast<void>(UnpackAttachment(QFile::encodeName(WriteInput(data, size, ".zip")).toStdString(), out, refusal));

    const std::string zip = QFile::encodeName(WriteInput(data, size, ".zip")).toStdString();
    CZipBundle archive;
    try {
        archive.SetStoreNameOnly(1);
        archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0);
        CZipEntryInfo info;
        for (uint16_t i = 0; archive.ReadEntryInfo(info, i); ++i)
            archive.ExtractEntry(i, out);
        archive.CloseArchive();
    } catch (const CZipException&) {
        archive.CloseArchive(true);
    }
    return 0;
}
