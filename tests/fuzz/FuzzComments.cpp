// A received comments document, read as the import reads it.
#include "FuzzSupport.h"

#include "CommentsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CCommentsFile file = ReadCommentsFile(WriteInput(data, size), SchemaPath("comment.xsd"));
    static_cast<void>(file);
    return 0;
}
