// A received reference-data document, read as the import reads it.
#include "FuzzSupport.h"

#include "NsiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CNsiFile nsi = ReadNsiFile(WriteInput(data, size), SchemaPath("lir.xsd"));
    if (nsi.ok())
        static_cast<void>(nsi.ReceivedName(nsi.from));
    return 0;
}
