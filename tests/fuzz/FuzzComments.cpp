// A received comments document, read as the import reads it.
#include "FuzzSupport.h"

#include "CommentsFile.h"
#include "ExchangeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString schema = SchemaPath("comment.xsd");
    const CExchangeRead read =
        ReadExchangeDocument(WriteInput(data, size), QStringLiteral("comment.xsd"), [&] { return schema; });
    if (read.ok())
        static_cast<void>(ReadCommentsFile(read.document));
    return 0;
}
