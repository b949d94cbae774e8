// A received forecast document, read as the import reads it.
#include "FuzzSupport.h"

#include "ForecastFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CForecastFile file = ReadForecastFile(WriteInput(data, size), SchemaPath("forecast.xsd"));
    static_cast<void>(file);
    return 0;
}
